// Pictures of the dialog's pages over a window styled as the station's, for
// a person to look at: written to the build tree's gallery folder.

#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/core.h"
#include "support/dialog_answer.h"
#include "support/test_support.h"
#include "ui/dialog.h"
#include "vexo/circle_indicator.h"
#include "vexo/iconed_label.h"
#include "vexo/image_view.h"
#include "vexo/state_icon.h"

namespace {
const QString styledSheet = QStringLiteral(
    "*{color: white;background-color: rgb(0, 151, 199);}QLineEdit{color: normal;background-color: "
    "normal;}QPushButton:enabled{color: white;background-color: rgb(0, 151, 199);}"
    "QPushButton:!enabled{color: white;background-color: gray;}");
const QString plainSheet = QStringLiteral(
    "*{color: normal;background-color: normal;}QPushButton:enabled{color: white;background-color: "
    "rgb(0, 151, 199);}QPushButton:!enabled{color: white;background-color: gray;}");
} // namespace

struct PageCase
{
    const char* name;
    std::function<void(StationDialog*)> setUp;
};
class DialogGallery : public ::testing::TestWithParam<PageCase>
{
};

TEST_P(DialogGallery, WritesAPicture)
{
    QWidget window;
    window.setStyleSheet(styledSheet);
    auto* layout = new QVBoxLayout(&window);
    auto* title = new QLabel(QStringLiteral("Station"), &window);
    title->setAlignment(Qt::AlignCenter);
    auto* logo = new ImageView(&window);
    logo->setPixmap(QPixmap(QStringLiteral(":/icons/logo-wb.png")));
    layout->addWidget(title);
    layout->addWidget(logo, 1);
    layout->addWidget(new QPushButton(QStringLiteral("Return device"), &window), 1);
    layout->addWidget(new QPushButton(QStringLiteral("Issue device"), &window), 1);
    window.resize(600, 896);

    auto* dialog = new StationDialog();
    dialog->frame->setStyleSheet(plainSheet);
    dialog->assignToWindow(&window);
    GetParam().setUp(dialog);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const QString dir = QStringLiteral(STATION_GALLERY_DIR);
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString path =
        dir + QStringLiteral("/dialog-") + QLatin1String(GetParam().name) + QStringLiteral(".png");
    bool saved = false;
    DialogAnswer shoot(dialog, [&](StationDialog* d) {
        saved = window.grab().save(path);
        d->cancel();
    });
    dialog->exec();
    EXPECT_TRUE(saved) << path.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Pages,
                         DialogGallery,
                         ::testing::Values(PageCase{"message",
                                                    [](StationDialog* d) {
                                                        d->setTitle(QStringLiteral("Login"));
                                                        d->setString(QStringLiteral("User is not admin!"));
                                                    }},
                                           PageCase{"list",
                                                    [](StationDialog* d) {
                                                        d->setTitle(QStringLiteral("Lock cell"));
                                                        d->setStringList(
                                                            {QStringLiteral("Broken door"),
                                                             QStringLiteral("No charging"),
                                                             QStringLiteral("Reserved for service")});
                                                        d->setAcceptButtonText(QStringLiteral("Lock"));
                                                    }},
                                           PageCase{"text",
                                                    [](StationDialog* d) {
                                                        d->setTitle(QStringLiteral("Describe the problem"));
                                                        d->setTextInput();
                                                        d->textEdit->setPlainText(
                                                            QStringLiteral("The screen is cracked."));
                                                    }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WidgetGallery, WritesAPicture)
{
    QWidget window;
    window.setStyleSheet(plainSheet);
    auto* layout = new QGridLayout(&window);
    auto* circle = new CircleIndicator(&window);
    circle->setFillColor(QColor(220, 220, 220));
    circle->setBackColor(QColor(0, 187, 255));
    circle->setAngleStartOffset(180);
    circle->setAngleGap(0);
    circle->setBarSize(15);
    circle->setMaximum(90);
    circle->setValue(30);
    circle->setText(QStringLiteral("1:00"));
    layout->addWidget(circle, 0, 0);
    auto* spinner = new ImageView(&window);
    spinner->setPixmap(QPixmap(QStringLiteral(":/icons/progress.png")));
    spinner->rotate(15);
    layout->addWidget(spinner, 0, 1);
    auto* label = new IconedLabel(&window);
    label->setIcon(QIcon(QStringLiteral(":/icons/dialog-close.png")));
    label->setIconSizeAutoScale(5.0);
    layout->addWidget(label, 1, 0);
    auto* state = new StateIcon(&window);
    state->setStates({{0, QStringLiteral("No"), QStringLiteral(":/icons/led_off.png")},
                      {1, QStringLiteral("Yes"), QStringLiteral(":/icons/led_on.png")}});
    state->setState(1);
    layout->addWidget(state, 1, 1);
    window.resize(400, 400);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(STATION_GALLERY_DIR)));
    EXPECT_TRUE(window.grab().save(QStringLiteral(STATION_GALLERY_DIR "/widgets.png")));
}
