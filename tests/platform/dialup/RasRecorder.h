#pragma once

#include "platform/dialup/CRas.h"

#include <QObject>
#include <QStringList>

// Writes down what a dial-up control reports, in order: "S<state>" for each
// RasStateChanged (the state read in the handler), "E<number>" for each RasError.
class RasRecorder final : public QObject {
public:
    explicit RasRecorder(CRas& ras)
    {
        connect(&ras, &CRas::RasStateChanged, this,
                [this, &ras] { events << QStringLiteral("S%1").arg(ras.RasState()); });
        connect(&ras, &CRas::RasError, this, [this](qint32 number, const QString& description) {
            events << QStringLiteral("E%1").arg(number);
            descriptions << description;
        });
    }
    bool Ended() const { return events.contains(QStringLiteral("S8193")); }
    bool Saw(int state) const { return events.contains(QStringLiteral("S%1").arg(state)); }

    QStringList events;
    QStringList descriptions;
};
