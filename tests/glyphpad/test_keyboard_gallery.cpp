// Pictures of the keyboard's pages over a plain form, for a person to look
// at: written to the build tree's gallery folder.

#include <algorithm>
#include <functional>

#include <QDir>
#include <QToolButton>

#include "glyphpad/virtual_keyboard.h"
#include "glyphpad/virtual_keyboard_layout.h"
#include "keyboard_form.h"
#include "support/test_support.h"

class KeyboardGallery;

struct GalleryCase
{
    const char* name;
    const char* page;
    std::function<void(KeyboardGallery*)> setUp;
};

class KeyboardGallery : public KeyboardForm, public ::testing::WithParamInterface<GalleryCase>
{
public:
    void focusName() { lineName->setFocus(); }
    void focusNumber() { lineNumber->setFocus(); }
    void focusPassword() { linePassword->setFocus(); }
    void gotoPage(const QString& caption)
    {
        lineName->setFocus();
        tap(key(caption));
    }
};

TEST_P(KeyboardGallery, WritesAPicture)
{
    GetParam().setUp(this);
    ASSERT_TRUE(keyboard->isVisible());
    ASSERT_EQ(pageName(), QLatin1String(GetParam().page));
    const QString dir = QStringLiteral(STATION_GALLERY_DIR);
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString path =
        dir + QStringLiteral("/keyboard-") + QLatin1String(GetParam().name) + QStringLiteral(".png");
    EXPECT_TRUE(window.grab().save(path)) << path.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Pages,
    KeyboardGallery,
    ::testing::Values(GalleryCase{"latin", "latin", [](KeyboardGallery* f) { f->focusName(); }},
                      GalleryCase{"latin-small", "latin", [](KeyboardGallery* f) { f->focusPassword(); }},
                      GalleryCase{"numeric", "numeric", [](KeyboardGallery* f) { f->focusNumber(); }},
                      GalleryCase{"cyrillic", "cyrillic",
                                  [](KeyboardGallery* f) { f->gotoPage(QStringLiteral("ru")); }}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });
