#pragma once

#include <QString>

class QSettings;

// The connection choices of the option dialogs: the stored values in section
// "Prog Options" and their program-wide copies, written together.
class CProgOptions final {
public:
    static constexpr const char* kSection = "Prog Options";
    static constexpr const char* kConnectionType = "Connection Type";
    static constexpr const char* kModemEntry = "Modem Entry";
    static constexpr const char* kMultiHomedIp = "MultiHomed IP Selected";

    // The phonebook entry of the direct serial cable.
    static constexpr const char* kDirectCableEntry = "TarnDirectPPP";

    // Connection types.
    static constexpr int kDirectCable = 0;
    static constexpr int kModem = 1;

    // The store and the program-wide variables it updates (gConnType, gModemEntry).
    CProgOptions(QSettings& store, int& connType, QString& modemEntry);

    int ConnType() const { return m_connType; }
    void SetConnType(int type);

    QString ModemEntry() const { return m_modemEntry; }
    void SetModemEntry(const QString& entry);

    // This PC's address chosen for the equipment; empty when none is stored.
    QString MultiHomedIp() const;
    void SetMultiHomedIp(const QString& address);

private:
    void Write(const char* key, const QString& value);

    QSettings& m_store;
    int& m_connType;
    QString& m_modemEntry;
};
