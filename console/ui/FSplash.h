#pragma once

#include <QWidget>

class QLabel;

// The splash window of the console's start-up: the product name, its version
// and the logo, centred on the screen without a frame.
class FSplash final : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kProductName = "Pelion Console";
    static constexpr int kLogoSize = 128;

    explicit FSplash(QWidget* parent = nullptr);

    // "Version 2.0.5a" for version 2.0, revision 5.
    static QString VersionCaption(int major, int minor, int revision);

    QLabel* lblProductName() const { return m_lblProductName; }
    QLabel* lblVersion() const { return m_lblVersion; }
    QLabel* imgLogo() const { return m_imgLogo; }

private:
    // Fills the labels with the product's name and this build's version.
    void Form_Load();

    QLabel* m_lblProductName = nullptr;
    QLabel* m_lblVersion = nullptr;
    QLabel* m_imgLogo = nullptr;
};
