// Pictures of title panels in every style and position, to look at: renders one window of panels
// offscreen and saves it as titlepanel-gallery.png into the folder given on the command line.
//
//   QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 titlepanel_gallery <folder>

#include "components/panels/titlepanel.h"
#include "tests/support/picturefile.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// A focus-tracking panel shown as if the focus were elsewhere.
class TInactivePanel : public TCustomTitlePanel
{
public:
    using TCustomTitlePanel::TCustomTitlePanel;
    bool TracksFocus() const override { return true; }
};

std::optional<TColor> sampleSkin()
{
    return RGB(0x9A, 0xB8, 0x6C);
}

TCustomTitlePanel *addPanel(QGridLayout *grid, int row, int column, TCustomTitlePanel *panel,
    const QString &caption, TTitlePanelStyle style, TTitlePanelTitlePosition position)
{
    panel->SetCaption(caption);
    panel->SetStyle(style);
    panel->Title()->SetPosition(position);
    panel->setMinimumSize(170, 110);
    auto *inside = new QVBoxLayout(panel);
    inside->setContentsMargins(4, 4, 4, 4);
    inside->addWidget(new QLineEdit(u"Inhalt"_s));
    inside->addStretch();
    grid->addWidget(panel, row, column);
    return panel;
}

int fail(const QString &message)
{
    std::fprintf(stderr, "titlepanel_gallery: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    // Before the application object, which needs a display.
    if (argc != 2) {
        std::fprintf(stderr, "usage: titlepanel_gallery <folder for the picture>\n");
        return 2;
    }
    QApplication app(argc, argv);
    const QDir folder(app.arguments().at(1));
    if (!QDir().mkpath(folder.path()))
        return fail(u"the folder %1 cannot be made"_s.arg(folder.path()));

    SetTitlePanelSkinColor(sampleSkin);
    QWidget window;
    auto *grid = new QGridLayout(&window);
    const QString styles[] = { u"Simple"_s, u"Framed"_s, u"3-D title"_s };
    const QString positions[] = { u"top"_s, u"bottom"_s, u"left"_s, u"right"_s };
    for (int s = 0; s < 3; ++s)
        for (int p = 0; p < 4; ++p)
            addPanel(grid, s, p, new TCustomTitlePanel, styles[s] + u", "_s + positions[p],
                TTitlePanelStyle(s), TTitlePanelTitlePosition(p));

    TCustomTitlePanel *flat = addPanel(grid, 3, 0, new TCustomTitlePanel, u"No gradient"_s, psFramed, tpTop);
    flat->Title()->SetGradient(false);
    TCustomTitlePanel *wide
        = addPanel(grid, 3, 1, new TCustomTitlePanel, u"Frame width 3"_s, psFramed, tpTop);
    wide->SetFrameWidth(3);
    TCustomTitlePanel *inactive
        = addPanel(grid, 3, 2, new TInactivePanel, u"Focus elsewhere"_s, psFramed, tpTop);
    inactive->Title()->SetAlignment(txaCenterLeft);
    inactive->Title()->Margins()->SetLeft(6);
    TCustomTitlePanel *skinned
        = addPanel(grid, 3, 3, new TCustomTitlePanel, u"Skinned style"_s, psFramed, tpLeft);
    skinned->SetNativeStyle(false);
    skinned->SetParentBackground(false);

    window.adjustSize();
    const QImage picture = window.grab().toImage();
    const QString fileName = folder.filePath(u"titlepanel-gallery.png"_s);
    QString error;
    if (!WritePicture(picture, fileName, &error))
        return fail(error);
    std::printf("%s (%dx%d pixels)\n", qPrintable(QDir::toNativeSeparators(fileName)), picture.width(),
        picture.height());
    return 0;
}
