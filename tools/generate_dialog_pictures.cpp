// Draws the pictures of the two image dialogs — the shortcut sheet and the about
// box — at normal and double size, and writes the resource list that puts them in
// the Qt resource bundle under the names the dialogs ask for:
//   :/img/hotkeys/win/free   :/img2x/hotkeys/win/free
//   :/img/about/free         :/img2x/about/free
// Run by the build: generate_dialog_pictures <qrc folder>. The shortcut sheet is
// drawn from the program's own default bindings; a bound command the sheet does not
// describe stops the build.
#include "KeyBindings.h"
#include "CommandRegistry.h"
#include "ShortcutSheet.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#ifndef VELLUMIN_VERSION
#define VELLUMIN_VERSION "2.1.0.0"
#endif

namespace {

const char* const FONT_FOLDER = "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/";

const QColor PAPER(0xFF, 0xFF, 0xFF);
const QColor INK(0x2B, 0x2B, 0x2B);
const QColor SOFT_INK(0x6B, 0x6B, 0x6B);
const QColor ACCENT(0x2D, 0x6C, 0xDF);
const QColor KEY_FACE(0xEE, 0xF0, 0xF3);
const QColor KEY_EDGE(0xC4, 0xC9, 0xD1);
const QColor RULE(0xE3, 0xE6, 0xEA);

QString family = QStringLiteral("Roboto");

// Roboto as the interface uses it; Qt's default face when the package is missing.
void loadFonts()
{
    bool any = false;
    for (const char* face : {"Roboto-Regular.ttf", "Roboto-Medium.ttf"}) {
        const int id = QFontDatabase::addApplicationFont(QString(FONT_FOLDER) + face);
        if (id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty()) {
            family = QFontDatabase::applicationFontFamilies(id).front();
            any = true;
        }
    }
    if (!any) {
        std::fprintf(stderr, "generate_dialog_pictures: Roboto not found in %s; using the default face\n", FONT_FOLDER);
        family = QGuiApplication::font().family();
    }
}

QFont font(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QString text(const std::string& s) { return QString::fromStdString(s); }

// A picture drawn in logical units at `scale` device pixels per unit.
QImage drawPicture(int width, int height, int scale, const std::function<void(QPainter&)>& draw)
{
    QImage image(width * scale, height * scale, QImage::Format_ARGB32);
    image.fill(PAPER);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    draw(painter);
    painter.end();
    return image;
}

// ---- the shortcut sheet ----------------------------------------------------------

constexpr int SHEET_MARGIN = 28;
constexpr int SHEET_TITLE_HEIGHT = 52;
constexpr int COLUMN_GAP = 28;
constexpr int GROUP_TITLE_HEIGHT = 26;
constexpr int GROUP_GAP = 14;
constexpr int ROW_HEIGHT = 24;
constexpr int KEY_PADDING = 6;
constexpr int KEY_TO_TEXT = 10;
constexpr int COLUMNS = 3;

struct SheetLayout {
    int keyWidth = 0;
    int columnWidth = 0;
    std::vector<std::vector<const ShortcutGroup*>> columns;
    int height = 0;
    int width = 0;
};

int groupHeight(const ShortcutGroup& group)
{
    return GROUP_TITLE_HEIGHT + static_cast<int>(group.rows.size()) * ROW_HEIGHT + GROUP_GAP;
}

SheetLayout layOutSheet(const ShortcutSheet& sheet)
{
    SheetLayout layout;
    const QFontMetrics keyMetrics(font(12, QFont::Medium));
    const QFontMetrics textMetrics(font(13));
    int textWidth = 0;
    int total = 0;
    for (const ShortcutGroup& group : sheet.groups) {
        total += groupHeight(group);
        for (const ShortcutRow& row : group.rows) {
            layout.keyWidth = std::max(layout.keyWidth, keyMetrics.horizontalAdvance(text(row.keys)) + 2 * KEY_PADDING);
            textWidth = std::max(textWidth, textMetrics.horizontalAdvance(text(row.description)));
        }
    }
    layout.columnWidth = layout.keyWidth + KEY_TO_TEXT + textWidth;
    // Groups keep their order, filling the columns top to bottom to about equal heights.
    const int target = (total + COLUMNS - 1) / COLUMNS;
    layout.columns.resize(1);
    int columnHeight = 0, tallest = 0;
    for (const ShortcutGroup& group : sheet.groups) {
        const int h = groupHeight(group);
        if (columnHeight > 0 && columnHeight + h / 2 > target && static_cast<int>(layout.columns.size()) < COLUMNS) {
            layout.columns.emplace_back();
            columnHeight = 0;
        }
        layout.columns.back().push_back(&group);
        columnHeight += h;
        tallest = std::max(tallest, columnHeight);
    }
    const int columns = static_cast<int>(layout.columns.size());
    layout.width = 2 * SHEET_MARGIN + columns * layout.columnWidth + (columns - 1) * COLUMN_GAP;
    layout.height = 2 * SHEET_MARGIN + SHEET_TITLE_HEIGHT + tallest - GROUP_GAP;
    return layout;
}

void drawSheet(QPainter& painter, const SheetLayout& layout)
{
    painter.setPen(INK);
    painter.setFont(font(22, QFont::Medium));
    painter.drawText(QRect(SHEET_MARGIN, SHEET_MARGIN, layout.width, 30), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Vellumin Shortcut Keys"));
    painter.setPen(RULE);
    painter.drawLine(SHEET_MARGIN, SHEET_MARGIN + 40, layout.width - SHEET_MARGIN, SHEET_MARGIN + 40);

    for (size_t c = 0; c < layout.columns.size(); ++c) {
        const int x = SHEET_MARGIN + static_cast<int>(c) * (layout.columnWidth + COLUMN_GAP);
        int y = SHEET_MARGIN + SHEET_TITLE_HEIGHT;
        for (const ShortcutGroup* group : layout.columns[c]) {
            painter.setPen(ACCENT);
            painter.setFont(font(14, QFont::Medium));
            painter.drawText(QRect(x, y, layout.columnWidth, GROUP_TITLE_HEIGHT - 6), Qt::AlignLeft | Qt::AlignVCenter,
                             text(group->title));
            y += GROUP_TITLE_HEIGHT;
            for (const ShortcutRow& row : group->rows) {
                const QRectF key(x + 0.5, y + 2.5, layout.keyWidth - 1, ROW_HEIGHT - 6);
                painter.setPen(KEY_EDGE);
                painter.setBrush(KEY_FACE);
                painter.drawRoundedRect(key, 4, 4);
                painter.setBrush(Qt::NoBrush);
                painter.setPen(INK);
                painter.setFont(font(12, QFont::Medium));
                painter.drawText(key, Qt::AlignCenter, text(row.keys));
                painter.setFont(font(13));
                painter.drawText(QRect(x + layout.keyWidth + KEY_TO_TEXT, y, layout.columnWidth, ROW_HEIGHT - 2),
                                 Qt::AlignLeft | Qt::AlignVCenter, text(row.description));
                y += ROW_HEIGHT;
            }
            y += GROUP_GAP;
        }
    }
}

// ---- the about box ---------------------------------------------------------------

constexpr int ABOUT_WIDTH = 460;
constexpr int ABOUT_HEIGHT = 250;

// The program's mark: a pencil stroke on a sheet.
void drawMark(QPainter& painter, const QRectF& box)
{
    painter.setPen(QPen(KEY_EDGE, 1));
    painter.setBrush(QColor(0xFA, 0xF8, 0xF0));
    painter.drawRoundedRect(box, 6, 6);
    QPainterPath stroke;
    const int steps = 48;
    for (int i = 0; i <= steps; ++i) {
        const double u = 0.15 + 0.7 * i / steps;
        const double v = 0.5 - 0.22 * std::sin(u * 6.2831853);
        const QPointF p(box.left() + u * box.width(), box.top() + v * box.height());
        if (i == 0) stroke.moveTo(p);
        else stroke.lineTo(p);
    }
    painter.setPen(QPen(QColor(0x28, 0x28, 0x3C), box.width() * 0.07, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(stroke);
}

void drawAbout(QPainter& painter)
{
    drawMark(painter, QRectF(32, 40, 112, 136));
    const int x = 172;
    painter.setPen(INK);
    painter.setFont(font(28, QFont::Medium));
    painter.drawText(QRect(x, 48, ABOUT_WIDTH - x - 24, 40), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Vellumin Free"));
    painter.setFont(font(14));
    painter.setPen(SOFT_INK);
    painter.drawText(QRect(x, 92, ABOUT_WIDTH - x - 24, 22), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Version %1").arg(QStringLiteral(VELLUMIN_VERSION)));
    painter.setPen(INK);
    painter.drawText(QRect(x, 124, ABOUT_WIDTH - x - 24, 44), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     QStringLiteral("Drawing on an unbounded canvas, stroke by stroke."));
    painter.setPen(RULE);
    painter.drawLine(24, ABOUT_HEIGHT - 44, ABOUT_WIDTH - 24, ABOUT_HEIGHT - 44);
    painter.setPen(SOFT_INK);
    painter.setFont(font(12));
    painter.drawText(QRect(24, ABOUT_HEIGHT - 38, ABOUT_WIDTH - 48, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("\u00A9 Tessavo. All rights reserved."));
}

// ---- output ------------------------------------------------------------------------

struct Picture {
    const char* file;
    const char* alias;
};

bool writePicture(const QString& folder, const char* file, const QImage& image)
{
    if (image.save(folder + "/" + file, "PNG")) return true;
    std::fprintf(stderr, "generate_dialog_pictures: cannot write %s/%s\n", qPrintable(folder), file);
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <qrc folder>\n", argv[0]);
        return 2;
    }
    // No display is needed to draw into images.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    loadFonts();
    const QString folder = QString::fromLocal8Bit(argv[1]);

    CommandRegistry registry;
    KeyBindings bindings(registry);
    addDefaultBindings(bindings);
    const ShortcutSheet sheet = makeShortcutSheet(bindings);
    if (!sheet.unlisted.empty()) {
        for (const std::string& command : sheet.unlisted)
            std::fprintf(stderr, "generate_dialog_pictures: the shortcut sheet has no row for the bound command %s\n",
                         command.c_str());
        return 1;
    }
    const SheetLayout layout = layOutSheet(sheet);

    bool ok = true;
    for (int scale : {1, 2}) {
        const char* suffix = scale == 1 ? "" : "@2x";
        ok = ok && writePicture(folder, (std::string("hotkeys_free") + suffix + ".png").c_str(),
                                drawPicture(layout.width, layout.height, scale,
                                            [&](QPainter& painter) { drawSheet(painter, layout); }));
        ok = ok && writePicture(folder, (std::string("about_free") + suffix + ".png").c_str(),
                                drawPicture(ABOUT_WIDTH, ABOUT_HEIGHT, scale, drawAbout));
    }
    const Picture pictures[] = {
        {"hotkeys_free.png", "img/hotkeys/win/free"},
        {"hotkeys_free@2x.png", "img2x/hotkeys/win/free"},
        {"about_free.png", "img/about/free"},
        {"about_free@2x.png", "img2x/about/free"},
    };
    QFile list(folder + "/DialogPictures.qrc");
    if (!ok || !list.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "generate_dialog_pictures: cannot write the pictures' resource list in %s\n", argv[1]);
        return 1;
    }
    QTextStream out(&list);
    out << "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const Picture& picture : pictures) out << "  <file alias=\"" << picture.alias << "\">" << picture.file << "</file>\n";
    out << "</qresource>\n</RCC>\n";
    out.flush();
    return list.error() == QFile::NoError ? 0 : 1;
}
