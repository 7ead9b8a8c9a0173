// What a screen reader or voice control sees of a tool button, check box or
// radio button, and what it can do with it. Qt's own interface toggles a
// check-style button without running its command (the button shows "on"
// while nothing happened); here every action of the button is a click, so
// an accessible action does exactly what the mouse does.
#pragma once

class QAccessibleInterface;
class QObject;
class QString;

// Installed once for the whole program (repeated calls do nothing).
void InstallButtonAccessibility();

// The factory itself: an interface for the buttons above, nullptr for
// anything else.
QAccessibleInterface *ButtonAccessibleFactory(const QString &ClassName, QObject *Object);
