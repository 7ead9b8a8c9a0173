#pragma once
// The about window: icon, product name, version and the maker's web site.

#include <QDialog>

#include <functional>

class QLabel;

class TaboutForm : public QDialog {
public:
    explicit TaboutForm(QWidget *Parent = nullptr);

    static const QString WebSite;
    // Opens the web site; the main window hands it to the desktop's browser.
    std::function<void(const QString &Url)> OpenLink;

    // Placed 200 pixels right of and 100 below Owner's top left corner.
    void ShowBeside(const QWidget *Owner);
    QLabel *Link() const { return FLink; }

private:
    QLabel *FLink = nullptr;
};
