#pragma once
// "Color Settings": the backgrounds of the three views and the colours of
// received and sent lines. The swatches hold the colours being edited; the
// settings record changes only on "Ok".

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>

class QPushButton;
class TSettingsRecord;

class TBColorSetForm : public QDialog {
    Q_OBJECT
public:
    explicit TBColorSetForm(TSettingsRecord &Settings, QWidget *Parent = nullptr);

    static constexpr int Rows = 5;
    // Receive, send and search backgrounds, received and sent lines;
    // 0x00BBGGRR.
    static constexpr std::array<uint32_t, Rows> Defaults {0xE6E6E6, 0xF0F0F0, 0xE6E6E6, 0xC80000, 0x0000C8};

    // Takes the colours from the record and shows the dialog 50 pixels right
    // of and 100 below Owner's top left corner.
    void ShowBeside(const QWidget *Owner);
    uint32_t SwatchColour(int Row) const { return FColours[Row]; }
    QPushButton *Swatch(int Row) const { return FSwatches[Row]; }

    // The colour picker; tests put their own in. Returns an invalid colour
    // when the user cancels.
    std::function<QColor(const QColor &Initial, QWidget *Owner)> PickColour;

Q_SIGNALS:
    // "Ok" stored the colours: the views take their new backgrounds.
    void Applied();

private:
    void SetSwatch(int Row, uint32_t Colour);
    void StoreAndClose();

    TSettingsRecord &FSettings;
    std::array<uint32_t, Rows> FColours {};
    std::array<QPushButton *, Rows> FSwatches {};
};
