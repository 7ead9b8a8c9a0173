#pragma once
// "HexDecBin Converter": three linked fields; typing in one fills the other
// two. Keys a field's base refuses are swallowed with a beep; pasted text
// that gets past that is refused with a warning and the field emptied.

#include "NumberConvert.h"

#include <QDialog>

class QLineEdit;
class TRuntimeMessages;

class THexDecForm : public QDialog {
    Q_OBJECT
public:
    explicit THexDecForm(QWidget *Parent = nullptr);

    // Where warnings and conversion errors go (not owned).
    void SetMessages(TRuntimeMessages *Messages) { FMessages = Messages; }
    // Left edge at the cursor (kept on the screen), top 20 pixels below it.
    void ShowAtCursor();

    QLineEdit *Field(TNumberField Which) const { return FFields[int(Which)]; }
    // The most characters the user can type or paste into a field; texts
    // the program writes may be longer (eleven decimal digits for nine hex).
    static int LongestInput(TNumberField Which);

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;
    void contextMenuEvent(QContextMenuEvent *Event) override;

private:
    void Edited(TNumberField Which);

    QLineEdit *FFields[3] = {};
    TRuntimeMessages *FMessages = nullptr;
};
