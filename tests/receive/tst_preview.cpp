// The preview control's geometry and mouse tools, the page layout of the
// receive view and the build of the preview window, offscreen.
#include "NicePreview.h"
#include "PageRender.h"
#include "PrintUnit.h"
#include "RichView.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTimer>

namespace {
QString HexLine(int I)
{
    QString S = QStringLiteral("%1:").arg(I, 6, 10, QLatin1Char('0'));
    for (int B = 0; B < 100; ++B)
        S += QStringLiteral(" %1").arg((I + B) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    return S;
}

void Fill(TRichView &View, int Lines, int From = 0)
{
    QString Text;
    for (int I = 0; I < Lines; ++I)
        Text += (I ? QStringLiteral("\n") : QString()) + HexLine(From + I);
    View.Append(Text);
    View.FlushUpdates();
}

// What a screen reader calls a control.
QString AccessibleName(QWidget *W)
{
    QAccessibleInterface *I = QAccessible::queryAccessibleInterface(W);
    return I ? I->text(QAccessible::Name) : QString();
}

// Page starts of the whole text.
QList<int> Paginate(const QTextDocument *Doc)
{
    TPageRenderer R(Doc);
    QList<int> Starts;
    int Guard = 0;
    while (R.HasMorePages() && ++Guard < 100000) {
        const int S = R.RenderNextPage(nullptr, QRectF());
        if (S >= 0)
            Starts.append(S);
    }
    return Starts;
}
}  // namespace

class TPreviewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void geometryPlacesPagesByTheRowRule()
    {
        struct TCase {
            int Pages;
            double Zoom;
            bool OnePerRow;
            int ClientWidth, ClientHeight;
            int PerRow, Rows, ContentWidth, ContentHeight, CentreOffset;
        };
        const TCase Cases[] = {
            // 2000 pixels at zoom 1: 2000 - 876 = 1124 > 846, one more page, 278 left.
            {5, 1.0, false, 2000, 800, 2, 3, 2 * 846 + 30, 3 * 1086 + 30, (2000 - 1722) / 2},
            {5, 1.0, true, 2000, 800, 1, 5, 876, 5 * 1086 + 30, (2000 - 876) / 2},
            {0, 1.0, false, 2000, 800, 2, 0, 1722, 30, 139},
            {3, 0.5, false, 1000, 800, 2, 2, 2 * 438 + 30, 2 * 558 + 30, (1000 - 906) / 2},
            {1, 1.0, false, 500, 400, 1, 1, 876, 1116, 0},
        };
        for (const TCase &C : Cases) {
            TPreviewGeometry G;
            G.Pages = C.Pages;
            G.Zoom = C.Zoom;
            G.OnePerRow = C.OnePerRow;
            G.ClientWidth = C.ClientWidth;
            G.ClientHeight = C.ClientHeight;
            G.Relayout();
            QCOMPARE(G.PerRow, C.PerRow);
            QCOMPARE(G.Rows, C.Rows);
            QCOMPARE(G.ContentWidth, C.ContentWidth);
            QCOMPARE(G.ContentHeight, C.ContentHeight);
            QCOMPARE(G.CentreOffset, C.CentreOffset);
        }
        // Page positions and hit tests, the gap included.
        TPreviewGeometry G;
        G.Pages = 3;
        G.ClientWidth = 2000;
        G.ClientHeight = 800;
        G.Relayout();
        QCOMPARE(G.PageRect(1, 0, 0), QRect(139 + 846 + 30, 30, 816, 1056));
        QCOMPARE(G.PageRect(2, 10, 100), QRect(139 + 30 - 10, 1086 + 30 - 100, 816, 1056));
        QCOMPARE(G.PageAt(QPoint(139 + 31, 31), 0, 0), 0);
        QCOMPARE(G.PageAt(QPoint(139 + 846 + 10, 100), 0, 0), -1);  // between pages
        QCOMPARE(G.PageAt(QPoint(10, 10), 0, 0), -1);
        QCOMPARE(G.PageAt(QPoint(139 + 846 + 40, 1200), 0, 0), -1);  // no fourth page
        // Centring a point keeps within the ranges.
        QCOMPARE(G.ScrollToCentre(0, QPointF(0, 0)), QPoint(0, 0));
        QCOMPARE(G.ScrollToCentre(2, QPointF(408, 528)), QPoint(0, 1086 + 30 + 528 - 400));
    }

    void zoomModesAndBounds()
    {
        QCOMPARE(ZoomForMode(1, 0.3, 1000, 800, 16, 16), 1.0);
        QCOMPARE(ZoomForMode(5, 0.3, 1000, 800, 16, 16), 0.3);
        QCOMPARE(ZoomForMode(0, 1, 1000, 800, 16, 16), (1000 - 16 - 60) / 816.0);
        QCOMPARE(ZoomForMode(2, 1, 1000, 800, 16, 16), (800 - 16 - 60) / 1056.0);
        QCOMPARE(ZoomForMode(4, 1, 1000, 800, 16, 16), (1000 - 16 - 150) / 4.0 / 816);
        QVERIFY(!ZoomAcceptable(5.0, 4.9));
        QVERIFY(!ZoomAcceptable(0.1, 0.2));
        QVERIFY(!ZoomAcceptable(1.0, 1.0));
        QVERIFY(ZoomAcceptable(4.9, 4.8));
    }

    void zoomToolsStopShortOfTheBoundsAndIgnoreClicksOutsidePages()
    {
        TNicePreview P;
        P.resize(900, 700);
        P.show();
        P.AddPage()->drawText(100, 100, QStringLiteral("x"));
        P.ClosePage();
        P.SetMouseTool(2);
        QCOMPARE(P.ZoomMode(), int(TNicePreview::ZoomFree));
        QSignalSpy Changes(&P, &TNicePreview::OnChange);
        auto ClickPage = [&] {
            const QRect R = P.Geometry().PageRect(0, P.horizontalScrollBar()->value(), P.verticalScrollBar()->value());
            QTest::mouseClick(P.viewport(), Qt::LeftButton, {}, R.intersected(P.viewport()->rect()).center());
        };
        for (int I = 0; I < 60; ++I)
            ClickPage();
        QVERIFY(P.Zoom() < 5.0);
        QVERIFY(P.Zoom() > 4.85);
        QCOMPARE(P.CurrentPage(), 0);
        P.SetMouseTool(3);
        for (int I = 0; I < 80; ++I)
            ClickPage();
        QVERIFY(P.Zoom() > 0.1);
        QVERIFY(P.Zoom() < 0.25);
        const double Zoom = P.Zoom();
        // Far outside the only page.
        QTest::mouseClick(P.viewport(), Qt::LeftButton, {}, QPoint(5, P.viewport()->height() - 5));
        QCOMPARE(P.Zoom(), Zoom);
        QCOMPARE(P.CurrentPage(), 0);
        QVERIFY(Changes.count() > 0);
        P.ClearPages();
        QCOMPARE(P.CurrentPage(), -1);
        QVERIFY(!P.horizontalScrollBar()->isVisible() || P.horizontalScrollBar()->maximum() == 0);
        QCOMPARE(P.verticalScrollBar()->maximum(), 0);
    }

    void pagesHoldEveryLineOnceAndBreakWhereTheyFill()
    {
        TRichView View;
        QCOMPARE(Paginate(View.document()).size(), 0);
        Fill(View, 400);
        const QList<int> Starts = Paginate(View.document());
        QVERIFY(Starts.size() > 2);
        QCOMPARE(Starts.first(), 0);
        // Every page after the first starts where the one before ended, at a
        // line's start here (a hex line wraps into several lines on paper, so
        // a page may also start inside one: it then continues it).
        const QTextDocument *Doc = View.document();
        QString Joined;
        for (int I = 0; I < Starts.size(); ++I) {
            const int Stop = I + 1 < Starts.size() ? Starts[I + 1] : Doc->characterCount() - 1;
            QTextCursor C(const_cast<QTextDocument *>(Doc));
            C.setPosition(Starts[I]);
            C.setPosition(Stop, QTextCursor::KeepAnchor);
            Joined += C.selection().toPlainText();
        }
        QCOMPARE(Joined, Doc->toPlainText());

        // The lines of the first page fit exactly: one more makes two pages.
        const int FirstPageLines = View.LineAt(Starts[1]);
        const bool BreaksAtLine = View.LineStart(FirstPageLines) == Starts[1];
        if (BreaksAtLine) {
            TRichView One;
            Fill(One, FirstPageLines);
            QCOMPARE(Paginate(One.document()).size(), 1);
            TRichView Two;
            Fill(Two, FirstPageLines + 1);
            QCOMPARE(Paginate(Two.document()).size(), 2);
        } else {
            TRichView Two;
            Fill(Two, FirstPageLines + 1);
            QCOMPARE(Paginate(Two.document()).size(), 2);
            TRichView One;
            Fill(One, FirstPageLines);
            QCOMPARE(Paginate(One.document()).size(), 1);
        }
    }

    void previewBuildLeavesTheEventLoopRunning()
    {
        TRichView View;
        Fill(View, 20000);
        TPrintForm Form(&View);
        int Ticks = 0, TicksWhileBuilding = 0;
        QTimer Tick;
        Tick.setInterval(1);
        connect(&Tick, &QTimer::timeout, [&] {
            ++Ticks;
            if (Form.Building())
                ++TicksWhileBuilding;
        });
        Tick.start();
        Form.BuildPreview();
        // A line received while the pages are laid out is shown at once.
        bool LineShownMidBuild = false;
        QTimer::singleShot(0, [&] {
            View.Append(QStringLiteral("\nreceived meanwhile"));
            View.FlushUpdates();
            LineShownMidBuild = Form.Building() && View.document()->toPlainText().endsWith(QStringLiteral("meanwhile"));
        });
        Form.WaitForBuild();
        QVERIFY(LineShownMidBuild);
        QVERIFY(TicksWhileBuilding > 1);
        QCOMPARE(Form.StatusText(), QStringLiteral("    Page 1    Total %1").arg(Form.Preview()->PageCount()));
        // The pages stop where the text stood when the build began.
        QVERIFY(Form.Preview()->PageCount() > 100);
        // Pages are recorded only when shown.
        QVERIFY(Form.Preview()->RecordedPages() <= TNicePreview::KeptRecordings);
    }

    void activationBuildsAndEveryControlIsNamed()
    {
        TRichView View;
        Fill(View, 20000);
        TPrintForm Form(&View);
        Form.show();
        Form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&Form));
        // Activating the window lays the pages out again; a long build shows
        // its progress and a way to stop it.
        QTRY_VERIFY(Form.Building());
        QTRY_VERIFY(Form.findChild<QProgressBar *>()->isVisible());
        QVERIFY(Form.Building());
        // Every control a user reaches, the build's own included, under its
        // caption or a name of its own.
        int Controls = 0;
        for (QWidget *W : Form.findChildren<QWidget *>()) {
            if (!W->isVisible() ||
                (!qobject_cast<QAbstractButton *>(W) && !qobject_cast<QProgressBar *>(W) &&
                    !qobject_cast<QLabel *>(W) && !qobject_cast<TNicePreview *>(W)))
                continue;
            QVERIFY2(!AccessibleName(W).isEmpty(), qPrintable(W->objectName()));
            ++Controls;
        }
        QCOMPARE(Controls, 10);
        const QList<std::pair<const char *, QString>> Names = {{"PrintButton", QStringLiteral("Print")},
            {"ActualSizeButton", QStringLiteral("Actual Size")}, {"FullPageButton", QStringLiteral("Full Page")},
            {"ZoomInButton", QStringLiteral("Zoom In")}, {"ZoomOutButton", QStringLiteral("Zoom Out")},
            {"CancelButton", QStringLiteral("Cancel")}, {"StopLayoutButton", QStringLiteral("Stop")},
            {"LayoutProgress", QStringLiteral("Laying out pages")}, {"NicePreview", QStringLiteral("Preview pages")}};
        for (const auto &[Name, Caption] : Names)
            QCOMPARE(AccessibleName(Form.findChild<QWidget *>(QLatin1String(Name))), Caption);
        QCOMPARE(AccessibleName(Form.findChild<QWidget *>(QStringLiteral("PrintStatus"))), Form.StatusText());
        Form.WaitForBuild();
        QVERIFY(Form.Preview()->PageCount() > 50);
    }

    void emptyViewGivesNoPages()
    {
        TRichView View;
        TPrintForm Form(&View);
        Form.BuildPreview();
        Form.WaitForBuild();
        QCOMPARE(Form.Preview()->PageCount(), 0);
        QCOMPARE(Form.StatusText(), QStringLiteral("    Page 0    Total 0"));
    }
};

QTEST_MAIN(TPreviewTest)
#include "tst_preview.moc"
