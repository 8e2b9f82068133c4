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
    static QByteArray BadRequest();

private:
    SSimAnswer Login(const CSimHttpRequest& request) const;
    QByteArray Page(const QString& title, const QString& text) const;

    SSimOptions m_options;
};
