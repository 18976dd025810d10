#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "common/ui/widgetprompts.h"
#include "realinput.h"

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(prompts::Buttons)
Q_DECLARE_METATYPE(prompts::Answer)

namespace {

// Lines of the label's text as a plain label paints it, unwrapped. Whether a label lays plain
// text out as a document (where a lone CR happens to break the line) or paints it as a string
// (where it is a blank, as on Windows) depends on the style; this is the second way.
int linesShown(const QLabel* label) {
    const QFontMetrics metrics(label->font());
    const int height =
        metrics.boundingRect(QRect(0, 0, 100000, 100000), Qt::AlignLeft, label->text()).height();
    return qRound(double(height + metrics.leading()) / metrics.lineSpacing());
}

} // namespace

class TestWidgetPrompts : public QObject {
    Q_OBJECT
private slots:
    // Real message boxes, answered with a real click: the text keeps its line breaks on screen,
    // whichever of CR, CR LF or LF joins them, and the clicked button is the answer.
    void shownAndAnswered_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lines");
        QTest::addColumn<prompts::Buttons>("buttons");
        QTest::addColumn<int>("click");
        QTest::addColumn<prompts::Answer>("answer");
        const auto yesNo = prompts::Buttons::YesNo;
        const auto ok = prompts::Buttons::Ok;
        QTest::newRow("lone CR, yes")
            << u"Er is geen nieuwe versie beschikbaar.\rWenst u de website te openen?"_s << 2 << yesNo
            << int(QMessageBox::Yes) << prompts::Answer::Yes;
        QTest::newRow("CR LF, no") << u"Een.\r\nTwee."_s << 2 << yesNo << int(QMessageBox::No)
                                   << prompts::Answer::No;
        QTest::newRow("LF") << u"Een.\nTwee."_s << 2 << yesNo << int(QMessageBox::Yes)
                            << prompts::Answer::Yes;
        QTest::newRow("CR CR is an empty line")
            << u"Een.\r\rTwee."_s << 3 << ok << int(QMessageBox::Ok) << prompts::Answer::Ok;
        QTest::newRow("one line") << u"Een. Twee."_s << 1 << ok << int(QMessageBox::Ok)
                                  << prompts::Answer::Ok;
    }
    void shownAndAnswered() {
        QFETCH(QString, text);
        QFETCH(int, lines);
        QFETCH(prompts::Buttons, buttons);
        QFETCH(int, click);
        QFETCH(prompts::Answer, answer);
        WidgetPrompts dialogs(u"RTCPIPCLIENT"_s);
        int shownLines = -1;
        QString title;
        bool clicked = false;
        realinput::ShownWindows answering([&](QWidget* window) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box)
                return;
            if (const auto* label = box->findChild<QLabel*>(u"qt_msgbox_label"_s))
                shownLines = linesShown(label);
            title = box->windowTitle();
            clicked = realinput::click(box->button(QMessageBox::StandardButton(click)));
            if (!clicked)
                box->reject();
        });
        QCOMPARE(dialogs.show({prompts::Icon::Question, buttons, {}, text}), answer);
        QVERIFY(clicked);
        QCOMPARE(shownLines, lines);
        QCOMPARE(title, u"RTCPIPCLIENT"_s);
    }
};

QTEST_MAIN(TestWidgetPrompts)
#include "tst_widgetprompts.moc"
