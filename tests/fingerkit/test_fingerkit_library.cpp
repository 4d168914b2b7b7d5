#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QWidget>

#include "fingerkit/touch_butt_frame.h"
#include "fingerkit/touch_button.h"
#include "fingerkit/touch_slider.h"
#include "support/test_support.h"
#include "ui_touch_form.h"

namespace {
// Output of a tool run on a file, without a library path from outside that
// could hide a missing run path.
QString run(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LD_LIBRARY_PATH"));
    process.setProcessEnvironment(environment);
    process.start(tool, arguments);
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        ADD_FAILURE() << tool.toStdString() << " failed: " << process.readAllStandardError().toStdString();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QStringList neededLibraries(const QString& file)
{
    QStringList needed;
    const QRegularExpression line(QStringLiteral("\\(NEEDED\\).*\\[(.+)\\]"));
    for (const QString& text : run(QStringLiteral("readelf"), {"-d", file}).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            needed << match.captured(1);
    }
    return needed;
}

// A page of the station made from a form that names the touch widgets.
class TouchForm : public QWidget, public Ui::TouchForm
{
    Q_OBJECT
public:
    TouchForm() { setupUi(this); }

    int backClicks = 0;

public slots:
    void on_buttonBack_clicked() { ++backClicks; }
};
} // namespace

TEST(FingerkitLibrary, TheProgramLoadsItAtStartThroughItsRunPath)
{
    const QString program = QStringLiteral(STATION_PROGRAM);
    EXPECT_TRUE(neededLibraries(program).contains(QStringLiteral("libfingerkit.so")));
    EXPECT_TRUE(
        run(QStringLiteral("readelf"), {"-d", program}).contains(QStringLiteral("[$ORIGIN:$ORIGIN/lib]")));

    const QString expected = QFileInfo(program).absolutePath() + QStringLiteral("/lib/libfingerkit.so");
    const QRegularExpression resolved(QStringLiteral("libfingerkit\\.so => (\\S+)"));
    const QRegularExpressionMatch match = resolved.match(run(QStringLiteral("ldd"), {program}));
    ASSERT_TRUE(match.hasMatch());
    EXPECT_EQ(QFileInfo(match.captured(1)).canonicalFilePath(), QFileInfo(expected).canonicalFilePath());
}

TEST(FingerkitLibrary, NeedsNoQtModuleBeyondCoreGuiAndWidgets)
{
    const QStringList qtModules = neededLibraries(QStringLiteral(FINGERKIT_LIBRARY_FILE))
                                      .filter(QRegularExpression(QStringLiteral("^libQt")));
    EXPECT_EQ(qtModules, QStringList({"libQt5Widgets.so.5", "libQt5Gui.so.5", "libQt5Core.so.5"}));
}

TEST(FingerkitLibrary, HoldsTheThreeWidgetIcons)
{
    for (const char* name : {"touchbutton", "touchbuttframe", "touchslider"})
        EXPECT_FALSE(QImage(QStringLiteral(":/icons/widgets/%1.png").arg(QLatin1String(name))).isNull())
            << name;
}

TEST(FingerkitLibrary, AFormBuildsTheWidgetsWithTheirPropertiesAndConnectsByName)
{
    TouchForm form;
    EXPECT_EQ(form.buttonBack->text(), QStringLiteral("Back"));
    EXPECT_EQ(form.buttonBack->state(), TouchButton::Yes);
    EXPECT_EQ(form.buttonBack->yesColor(), QColor(0, 151, 199));
    EXPECT_EQ(form.buttonBack->animationCurve(), QEasingCurve::Linear);
    EXPECT_EQ(form.frameChoice->buttons(), QStringList({"Left", "Right"}));
    EXPECT_EQ(form.frameChoice->currentButton(), 1);
    EXPECT_EQ(form.sliderLevel->minimum(), 0.0);
    EXPECT_EQ(form.sliderLevel->title(), QStringLiteral(" 50 %"));

    QSignalSpy clickedID(form.buttonBack, &TouchButton::clickedID);
    QTest::mouseClick(form.buttonBack, Qt::LeftButton);
    EXPECT_EQ(form.backClicks, 1);
    ASSERT_EQ(clickedID.count(), 1);
    EXPECT_EQ(clickedID.first().at(0).toInt(), 3);
}

#include "test_fingerkit_library.moc"
