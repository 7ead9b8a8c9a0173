#include "ButtonAccessible.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QMenu>
#include <QPointer>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

namespace {

class TButtonAccessible : public QAccessibleWidget {
public:
    explicit TButtonAccessible(QAbstractButton *Button) : QAccessibleWidget(Button) { }

    // Asked each time: a button may become checkable or get a menu after
    // its interface was made.
    QAccessible::Role role() const override
    {
        QAbstractButton *B = Button();
        if (qobject_cast<QRadioButton *>(B))
            return QAccessible::RadioButton;
        if (qobject_cast<QCheckBox *>(B))
            return QAccessible::CheckBox;
        if (Menu())
            return static_cast<QToolButton *>(B)->popupMode() == QToolButton::InstantPopup
                ? QAccessible::ButtonMenu
                : QAccessible::ButtonDropDown;
        return B->isCheckable() ? QAccessible::CheckBox : QAccessible::PushButton;
    }

    QAccessible::State state() const override
    {
        QAccessible::State S = QAccessibleWidget::state();
        QAbstractButton *B = Button();
        if (B->isCheckable()) {
            S.checkable = true;
            S.checked = B->isChecked();
        }
        if (const auto *Check = qobject_cast<const QCheckBox *>(B);
            Check && Check->checkState() == Qt::PartiallyChecked)
            S.checkStateMixed = true;
        S.pressed = B->isDown();
        if (Menu())
            S.hasPopup = true;
        return S;
    }

    QString text(QAccessible::Text T) const override
    {
        // A button is named by its own caption before any label beside it.
        if (T == QAccessible::Name && Button()->accessibleName().isEmpty() && !Button()->text().isEmpty())
            return QString(Button()->text()).remove(QLatin1Char('&'));
        QString Text = QAccessibleWidget::text(T);
        if (T == QAccessible::Description && Text.isEmpty())
            Text = Button()->toolTip();
        return Text;
    }

    QStringList actionNames() const override
    {
        QStringList Names;
        if (Button()->isEnabled()) {
            const auto *Tool = qobject_cast<const QToolButton *>(Button());
            const bool MenuOnly = Tool && Tool->popupMode() == QToolButton::InstantPopup && Menu();
            if (!MenuOnly)
                Names << (Button()->isCheckable() ? toggleAction() : pressAction());
            if (Menu())
                Names << showMenuAction();
        }
        return Names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &Name) override
    {
        QAbstractButton *B = Button();
        if (!B->isEnabled())
            return;
        // After the caller has its answer: a command may open a box that
        // runs its own event loop, and the reader must not wait on it.
        QPointer<QAbstractButton> Target(B);
        if (Name == pressAction() || Name == toggleAction()) {
            QTimer::singleShot(0, B, [Target] {
                if (Target && Target->isEnabled())
                    Target->click();
            });
        } else if (Name == showMenuAction()) {
            if (auto *Tool = qobject_cast<QToolButton *>(B))
                QTimer::singleShot(0, Tool, [Tool] { Tool->showMenu(); });
        } else {
            QAccessibleWidget::doAction(Name);
        }
    }

private:
    QAbstractButton *Button() const { return static_cast<QAbstractButton *>(object()); }
    QMenu *Menu() const
    {
        const auto *Tool = qobject_cast<const QToolButton *>(Button());
        return Tool ? Tool->menu() : nullptr;
    }
};

}  // namespace

QAccessibleInterface *ButtonAccessibleFactory(const QString &ClassName, QObject *Object)
{
    // Push buttons keep Qt's interface: its press is a click already.
    if (ClassName != QLatin1String("QToolButton") && ClassName != QLatin1String("QCheckBox") &&
        ClassName != QLatin1String("QRadioButton"))
        return nullptr;
    auto *Button = qobject_cast<QAbstractButton *>(Object);
    return Button ? new TButtonAccessible(Button) : nullptr;
}

void InstallButtonAccessibility()
{
    static const bool Installed = [] {
        QAccessible::installFactory(&ButtonAccessibleFactory);
        return true;
    }();
    Q_UNUSED(Installed);
}
