#pragma once

#include "tools/equipment-sim/SSimOptions.h"

#include <QByteArray>
#include <QString>

class CSimHttpRequest;

// What the simulated equipment answers, and a line about it worth printing.
struct SSimAnswer {
    QByteArray reply;
    QString note;
};

// The equipment's side of the exchange: the version under "/Snmp.Get", the
// rescue login under "/Snmp.Login", and the pages a browser is sent to.
class CSimPages final {
public:
    explicit CSimPages(SSimOptions options);

    SSimAnswer Answer(const CSimHttpRequest& request) const;
    QByteArray BadRequest() const;
    // The head of a 200 reply to the probe whose body never ends, and the
    // body's pieces, framed as the options say.
    QByteArray EndlessHead() const;
    QByteArray EndlessPiece(const QByteArray& bytes) const;

private:
    QByteArray Reply(int code, const QByteArray& type, const QByteArray& body) const;
    QByteArray Chunked(const QByteArray& body) const;
    QByteArray NotFound() const;
    SSimAnswer Login(const CSimHttpRequest& request) const;
    QByteArray Page(const QString& title, const QString& text) const;

    SSimOptions m_options;
};
