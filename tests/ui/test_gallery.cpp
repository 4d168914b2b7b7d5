// Pictures of the dialog's pages over a window styled as the station's, for
// a person to look at: written to the build tree's gallery folder.

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/core.h"
#include "support/dialog_answer.h"
#include "support/test_support.h"
#include "ui/dialog.h"
#include "vexo/image_view.h"

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
