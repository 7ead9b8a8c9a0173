#include "PlotForm.h"

#include "PlotView.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QSaveFile>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
template <typename T> T *Named(T *W, const char *Name, const char *Accessible)
{
    W->setObjectName(QLatin1String(Name));
    W->setAccessibleName(QLatin1String(Accessible));
    W->setToolTip(QLatin1String(Accessible));
    return W;
}

QToolButton *Button(QWidget *Parent, const char *Name, const char *Text, bool Check = false)
{
    auto *B = Named(new QToolButton(Parent), Name, Text);
    B->setText(QLatin1String(Text));
    B->setCheckable(Check);
    B->setAutoRaise(true);
    return B;
}

QIcon Swatch(const QColor &Colour, bool Shown)
{
    QPixmap Pixmap(12, 12);
    Pixmap.fill(Shown ? Colour : QColor(Qt::transparent));
    return QIcon(Pixmap);
}
}  // namespace

TPlotForm::TPlotForm(QWidget *Parent) : QDockWidget(QStringLiteral("Plot"), Parent)
{
    // The object name keys the window's place in the saved layout.
    setObjectName(QStringLiteral("PlotForm"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto *Body = new QWidget(this);
    auto *Column = new QVBoxLayout(Body);
    Column->setContentsMargins(4, 2, 4, 2);
    Column->setSpacing(2);

    auto *Row1 = new QHBoxLayout;
    FFormat = Named(new QComboBox(Body), "PlotFormat", "Plot format");
    FFormat->addItems({QStringLiteral("Text lines"), QStringLiteral("Binary fields")});
    FXAxis = Named(new QComboBox(Body), "PlotXAxis", "X axis");
    FXAxis->addItems({QStringLiteral("Sample number"), QStringLiteral("Arrival time")});
    FWindow = Named(new QComboBox(Body), "PlotWindow", "Range shown");
    FWindow->addItems({QStringLiteral("All kept"), QStringLiteral("Last samples"), QStringLiteral("Last seconds")});
    FWindowSize = Named(new QDoubleSpinBox(Body), "PlotWindowSize", "Samples or seconds shown");
    FWindowSize->setRange(1, 1e7);
    FWindowSize->setDecimals(0);
    FAutoScale = Named(new QCheckBox(QStringLiteral("Auto Y"), Body), "PlotAutoScale", "Automatic y range");
    FYMin = Named(new QDoubleSpinBox(Body), "PlotYMin", "Lowest y");
    FYMax = Named(new QDoubleSpinBox(Body), "PlotYMax", "Highest y");
    for (QDoubleSpinBox *Box : {FYMin, FYMax}) {
        Box->setRange(-1e12, 1e12);
        Box->setDecimals(3);
    }
    FCapacity = Named(new QSpinBox(Body), "PlotCapacity", "Samples kept per series");
    FCapacity->setRange(100, 1000000);
    FCapacity->setSingleStep(10000);
    FCapacity->setPrefix(QStringLiteral("keep "));
    for (QWidget *W :
        std::initializer_list<QWidget *> {FFormat, FXAxis, FWindow, FWindowSize, FAutoScale, FYMin, FYMax, FCapacity})
        Row1->addWidget(W);
    Row1->addStretch();
    Column->addLayout(Row1);

    auto *Row2 = new QHBoxLayout;
    FFields = Named(new QLineEdit(Body), "PlotFields", "Binary fields");
    FFields->setPlaceholderText(
        QStringLiteral("fields: [name=]offset:type[:scale[:offset]]; e.g. 3:u16be; temp=5:i16be:0.1"));
    Row2->addWidget(FFields, 1);
    FPause = Button(Body, "PlotPause", "Pause", true);
    QToolButton *ClearButton = Button(Body, "PlotClear", "Clear");
    QToolButton *CsvButton = Button(Body, "PlotCsv", "Export CSV");
    QToolButton *PngButton = Button(Body, "PlotPng", "Export PNG");
    for (QWidget *W : {FPause, ClearButton, CsvButton, PngButton})
        Row2->addWidget(W);
    Column->addLayout(Row2);

    auto *Split = new QSplitter(Qt::Horizontal, Body);
    FView = new TPlotView(FData, Split);
    FLegend = Named(new QListWidget(Split), "PlotLegend", "Series");
    FLegend->setSelectionMode(QAbstractItemView::NoSelection);
    Split->addWidget(FView);
    Split->addWidget(FLegend);
    Split->setStretchFactor(0, 1);
    Split->setSizes({600, 120});
    Column->addWidget(Split, 1);

    auto *Row3 = new QHBoxLayout;
    FCursor = Named(new QLabel(Body), "PlotCursor", "Value under the mouse");
    FNotice = Named(new QLabel(Body), "PlotNotice", "Plot notice");
    Row3->addWidget(FCursor, 1);
    Row3->addWidget(FNotice);
    Column->addLayout(Row3);
    setWidget(Body);

    AskSaveName = [this](const QString &Filter) {
        return QFileDialog::getSaveFileName(this, QString(), QString(), Filter);
    };
    Warn = [this](const QString &Caption, const QString &Text) { QMessageBox::warning(this, Caption, Text); };

    SetSettings(TPlotSettings());

    for (QComboBox *Box : {FFormat, FXAxis, FWindow})
        connect(Box, &QComboBox::currentIndexChanged, this, &TPlotForm::ApplyControls);
    for (QDoubleSpinBox *Box : {FWindowSize, FYMin, FYMax})
        connect(Box, &QDoubleSpinBox::valueChanged, this, &TPlotForm::ApplyControls);
    connect(FCapacity, &QSpinBox::valueChanged, this, &TPlotForm::ApplyControls);
    connect(FAutoScale, &QCheckBox::toggled, this, &TPlotForm::ApplyControls);
    connect(FFields, &QLineEdit::editingFinished, this, &TPlotForm::ApplyFields);
    connect(FPause, &QToolButton::toggled, this, [this](bool Paused) { FView->SetLive(!Paused); });
    connect(FView, &TPlotView::LiveChanged, this, [this](bool Live) { FPause->setChecked(!Live); });
    connect(FView, &TPlotView::CursorMoved, FCursor, &QLabel::setText);
    connect(ClearButton, &QToolButton::clicked, this, &TPlotForm::Clear);
    connect(CsvButton, &QToolButton::clicked, this, [this] {
        const QString Path = AskSaveName(QStringLiteral("CSV (*.csv);;all (*)"));
        if (!Path.isEmpty())
            ExportCsv(Path);
    });
    connect(PngButton, &QToolButton::clicked, this, [this] {
        const QString Path = AskSaveName(QStringLiteral("PNG (*.png);;all (*)"));
        if (!Path.isEmpty())
            ExportPng(Path);
    });
    connect(FLegend, &QListWidget::itemChanged, this, [this](QListWidgetItem *Item) {
        const QString Name = Item->text();
        const bool Shown = Item->checkState() == Qt::Checked;
        if (Shown)
            FHidden.removeAll(Name);
        else if (!FHidden.contains(Name))
            FHidden.append(Name);
        UpdateLegend();
        FView->Refresh(true);
    });

    // New samples are drawn ten times a second, not once per line, and
    // only while the window is shown and lines come: it does not wake an
    // idle program.
    FTimer = new QTimer(this);
    FTimer->setInterval(100);
    connect(FTimer, &QTimer::timeout, this, &TPlotForm::Tick);
}

void TPlotForm::showEvent(QShowEvent *Event)
{
    QDockWidget::showEvent(Event);
    FTimer->start();
}

void TPlotForm::hideEvent(QHideEvent *Event)
{
    QDockWidget::hideEvent(Event);
    FTimer->stop();
}

void TPlotForm::TakeLine(const std::string &Line, const std::string &Data, bool Hex)
{
    FData.Add(Line, Data, Hex);
    if (!FTimer->isActive() && isVisible())
        FTimer->start();
}

void TPlotForm::Tick()
{
    // Nothing new since the last tick: sleep until the next line.
    if (FData.Revision() == FTickRevision) {
        FTimer->stop();
        return;
    }
    FTickRevision = FData.Revision();
    if (FLegend->count() != int(FData.Series().size()))
        UpdateLegend();
    UpdateNotice();
    FView->Refresh();
}

void TPlotForm::UpdateLegend()
{
    const auto &Series = FData.Series();
    const QSignalBlocker Block(FLegend);
    while (FLegend->count() > int(Series.size()))
        delete FLegend->takeItem(FLegend->count() - 1);
    std::vector<bool> Hidden(Series.size(), false);
    for (int I = 0; I < int(Series.size()); ++I) {
        const QString Name = QString::fromStdString(Series[std::size_t(I)].Name);
        if (I >= FLegend->count())
            FLegend->addItem(new QListWidgetItem(FLegend));
        QListWidgetItem *Item = FLegend->item(I);
        Hidden[std::size_t(I)] = FHidden.contains(Name);
        Item->setText(Name);
        Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        Item->setCheckState(Hidden[std::size_t(I)] ? Qt::Unchecked : Qt::Checked);
        Item->setIcon(Swatch(TPlotView::SeriesColour(I), true));
        Item->setForeground(TPlotView::SeriesColour(I));
    }
    FView->Hidden = Hidden;
}

void TPlotForm::UpdateNotice()
{
    QString Text;
    if (FData.LeftOut() > 0)
        Text = QStringLiteral("At most %1 series: %2%3 more not plotted")
                   .arg(MaxSeries)
                   .arg(FData.LeftOut())
                   .arg(FData.LeftOut() >= MaxSeries ? QStringLiteral(" or") : QString());
    else if (FData.Format == TPlotFormat::Binary && FData.Fields.empty())
        Text = QStringLiteral("No fields chosen");
    if (FNotice->text() != Text)
        FNotice->setText(Text);
}

bool TPlotForm::Paused() const
{
    return FPause->isChecked();
}

void TPlotForm::SetPaused(bool Paused)
{
    FPause->setChecked(Paused);
}

void TPlotForm::Clear()
{
    FData.Clear();
    UpdateLegend();
    UpdateNotice();
    FView->SetLive(true);
    FView->Refresh(true);
}

TPlotSettings TPlotForm::Settings() const
{
    TPlotSettings S;
    S.Format = static_cast<TPlotFormat>(FFormat->currentIndex());
    S.XAxis = static_cast<TXAxis>(FXAxis->currentIndex());
    S.Fields = FFields->text();
    S.Window = static_cast<TWindowKind>(FWindow->currentIndex());
    S.WindowSize = FWindowSize->value();
    S.AutoScale = FAutoScale->isChecked();
    S.YMin = FYMin->value();
    S.YMax = FYMax->value();
    S.Capacity = FCapacity->value();
    S.Hidden = FHidden;
    return S;
}

void TPlotForm::SetSettings(const TPlotSettings &S)
{
    FLoading = true;
    FFormat->setCurrentIndex(int(S.Format));
    FXAxis->setCurrentIndex(int(S.XAxis));
    FFields->setText(S.Fields);
    FWindow->setCurrentIndex(int(S.Window));
    FWindowSize->setValue(S.WindowSize);
    FAutoScale->setChecked(S.AutoScale);
    FYMin->setValue(S.YMin);
    FYMax->setValue(S.YMax);
    FCapacity->setValue(S.Capacity);
    FHidden = S.Hidden;
    FLoading = false;
    ApplyControls();
    ApplyFields();
}

void TPlotForm::ApplyControls()
{
    if (FLoading)
        return;
    const auto Format = static_cast<TPlotFormat>(FFormat->currentIndex());
    if (Format != FData.Format) {
        FData.Format = Format;
        FData.Clear();
    }
    FData.SetXAxis(static_cast<TXAxis>(FXAxis->currentIndex()));
    FData.SetCapacity(std::size_t(FCapacity->value()));
    FFields->setEnabled(Format == TPlotFormat::Binary);
    FView->Window = static_cast<TWindowKind>(FWindow->currentIndex());
    FView->WindowSize = FWindowSize->value();
    FWindowSize->setEnabled(FView->Window != TWindowKind::All);
    FView->AutoScale = FAutoScale->isChecked();
    FYMin->setEnabled(!FView->AutoScale);
    FYMax->setEnabled(!FView->AutoScale);
    FView->FixedLow = FYMin->value();
    FView->FixedHigh = std::max(FYMax->value(), FYMin->value() + 1e-9);
    FCursor->clear();
    UpdateLegend();
    UpdateNotice();
    FView->Refresh(true);
}

void TPlotForm::ApplyFields()
{
    if (FLoading)
        return;
    std::vector<TBinaryField> Fields;
    QString Error;
    if (!ParseFieldList(FFields->text(), Fields, Error)) {
        FFields->setToolTip(Error);
        FNotice->setText(Error);
        return;
    }
    FFields->setToolTip(QStringLiteral("Binary fields"));
    bool Same = Fields.size() == FData.Fields.size();
    for (std::size_t I = 0; Same && I < Fields.size(); ++I)
        Same = Fields[I].Name == FData.Fields[I].Name && Fields[I].Offset == FData.Fields[I].Offset &&
            Fields[I].Type == FData.Fields[I].Type && Fields[I].BigEndian == FData.Fields[I].BigEndian &&
            Fields[I].Scale == FData.Fields[I].Scale && Fields[I].Add == FData.Fields[I].Add;
    if (!Same) {
        FData.Fields = std::move(Fields);
        if (FData.Format == TPlotFormat::Binary)
            FData.Clear();
        UpdateLegend();
    }
    UpdateNotice();
}

bool TPlotForm::ExportCsv(const QString &Path)
{
    const std::string Csv = PlotCsv(FData);
    QSaveFile File(Path);
    if (!File.open(QIODevice::WriteOnly) || File.write(Csv.data(), qint64(Csv.size())) != qint64(Csv.size()) ||
        !File.commit()) {
        Warn(QStringLiteral("Export CSV"), QStringLiteral("Could not write %1: %2").arg(Path, File.errorString()));
        return false;
    }
    return true;
}

bool TPlotForm::ExportPng(const QString &Path)
{
    const QPixmap Picture = FView->grab();
    QSaveFile File(Path);
    if (!File.open(QIODevice::WriteOnly) || !Picture.save(&File, "PNG") || !File.commit()) {
        Warn(QStringLiteral("Export PNG"), QStringLiteral("Could not write %1: %2").arg(Path, File.errorString()));
        return false;
    }
    return true;
}

void TPlotForm::closeEvent(QCloseEvent *Event)
{
    QDockWidget::closeEvent(Event);
    if (Event->isAccepted())
        Q_EMIT Closed();
}
