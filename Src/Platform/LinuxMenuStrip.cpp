#include "LinuxMenuStrip.h"

// Qt first: Xlib's macros break Qt's headers.
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <GL/glew.h>
#include <GL/freeglut.h>

namespace {

// The strip's look: a light bar with a hairline under it, the open title in the
// selection colour.
const QColor STRIP_BACKGROUND(0xF3, 0xF3, 0xF3);
const QColor STRIP_BORDER(0xD0, 0xD0, 0xD0);
const QColor TITLE_HOVER(0xE2, 0xE2, 0xE2);
const QColor TITLE_OPEN(0xCC, 0xE4, 0xF7);
const QColor TITLE_OPEN_BORDER(0x99, 0xC9, 0xEF);
const QColor TITLE_TEXT(0x1A, 0x1A, 0x1A);
constexpr int32_t STRIP_VERTICAL_PADDING = 10;
// Pop-up captions are cut as the desktop's menu-string call cuts them.
constexpr int POPUP_CAPTION_LIMIT = 32;

QString qtCaption(const std::string& caption) { return QString::fromStdString(caption); }

void fillMenu(QMenu& menu, const std::vector<MenuItem>& items)
{
    for (const MenuItem& item : items) {
        if (item.isSeparator()) {
            menu.addSeparator();
        } else if (item.isSubmenu()) {
            QMenu* sub = menu.addMenu(qtCaption(item.caption));
            sub->setEnabled(item.enabled);
            fillMenu(*sub, item.submenu);
        } else {
            QAction* action = menu.addAction(qtCaption(item.caption));
            action->setData(item.id);
            action->setEnabled(item.enabled);
            if (item.checked) {
                action->setCheckable(true);
                action->setChecked(true);
            }
        }
    }
}

QAction* firstEnabledAction(QMenu& menu)
{
    for (QAction* action : menu.actions())
        if (action->isEnabled() && !action->isSeparator()) return action;
    return nullptr;
}

// Watches the open menu for the moves a menu bar makes: Left and Right to the
// neighbouring menu, the pointer onto another title, a press on the open title.
class MenuNavigation : public QObject {
public:
    MenuNavigation(QMenu& top, const MenuStripLayout& layout, const LinuxMenuStrip::Window& window, int index)
        : top_(top), layout_(layout), window_(window), index_(index) {}
    int next = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (index_ < 0) return false;
        if (event->type() == QEvent::KeyPress && watched == &top_) {
            auto* key = static_cast<QKeyEvent*>(event);
            QAction* active = top_.activeAction();
            const bool opensSubmenu = active && active->menu();
            if (key->key() == Qt::Key_Left || (key->key() == Qt::Key_Right && !opensSubmenu)) {
                switchTo(layout_.neighbour(index_, key->key() == Qt::Key_Left ? -1 : 1));
                return true;
            }
        }
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint global = mouse->globalPosition().toPoint();
            int32_t x = 0, y = 0;
            window_.fromScreen(global.x(), global.y(), &x, &y);
            const int title = layout_.titleAt(x, y);
            if (title >= 0 && title != index_) {
                switchTo(title);
                return true;
            }
            if (title == index_ && event->type() == QEvent::MouseButtonPress) {
                top_.close();  // a second press on the open title closes it
                return true;
            }
        }
        return false;
    }

private:
    void switchTo(int index)
    {
        next = index;
        top_.close();
    }

    QMenu& top_;
    const MenuStripLayout& layout_;
    const LinuxMenuStrip::Window& window_;
    int index_;
};

// Draws `image` over the top rows of the back buffer, leaving the GL state as it was.
void drawAtTop(const QImage& image, int32_t windowHeight)
{
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    GLint framebuffer = 0;
    const bool framebuffers = glBindFramebuffer != nullptr;
    if (framebuffers) glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    GLint unpackBuffer = 0;
    const bool pixelBuffers = glBindBuffer != nullptr && GLEW_VERSION_2_1;
    if (pixelBuffers) glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpackBuffer);

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glUseProgram(0);
    if (framebuffers) glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (pixelBuffers) glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glDrawBuffer(GL_BACK);
    for (GLenum capability : {GL_DEPTH_TEST, GL_STENCIL_TEST, GL_BLEND, GL_SCISSOR_TEST, GL_ALPHA_TEST, GL_TEXTURE_2D,
                              GL_FOG, GL_LIGHTING, GL_COLOR_LOGIC_OP, GL_DITHER})
        glDisable(capability);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPixelZoom(1.0f, 1.0f);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glWindowPos2i(0, windowHeight - image.height());
    glDrawPixels(image.width(), image.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.constBits());

    glPopClientAttrib();
    glPopAttrib();
    if (pixelBuffers) glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(unpackBuffer));
    if (framebuffers) glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
    glUseProgram(static_cast<GLuint>(program));
}

}  // namespace

void LinuxMenuStrip::start(Window window)
{
    window_ = std::move(window);
    fontHeight_ = QFontMetrics(QApplication::font()).height();
    started_ = true;
    layout_.setHeight(height());
    if (!bar_.empty()) setBar(bar_);
}

int32_t LinuxMenuStrip::height() const
{
    return started_ && !bar_.empty() ? fontHeight_ + STRIP_VERTICAL_PADDING : 0;
}

int32_t LinuxMenuStrip::measure(std::string_view text) const
{
    return QFontMetrics(QApplication::font()).horizontalAdvance(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
}

void LinuxMenuStrip::setBar(const MenuBar& bar)
{
    bar_ = bar;
    layout_.setHeight(height());
    if (started_) layout_.layOut(bar_, [this](std::string_view text) { return measure(text); });
    imageDirty_ = true;
    if (started_ && window_.redraw) window_.redraw();
}

void LinuxMenuStrip::renderImage(int32_t width)
{
    const int32_t stripHeight = height();
    QImage image(width, stripHeight, QImage::Format_RGBA8888);
    image.fill(STRIP_BACKGROUND);
    QPainter painter(&image);
    painter.setFont(QApplication::font());
    painter.setPen(STRIP_BORDER);
    painter.drawLine(0, stripHeight - 1, width, stripHeight - 1);
    const auto& titles = layout_.titles();
    for (size_t i = 0; i < titles.size(); ++i) {
        const MenuStripLayout::Title& title = titles[i];
        const QRect box(title.left, 1, title.width, stripHeight - 3);
        if (static_cast<int>(i) == openIndex_) {
            painter.fillRect(box, TITLE_OPEN);
            painter.setPen(TITLE_OPEN_BORDER);
            painter.drawRect(box.adjusted(0, 0, -1, -1));
        } else if (static_cast<int>(i) == hoverIndex_) {
            painter.fillRect(box, TITLE_HOVER);
        }
        painter.setPen(TITLE_TEXT);
        painter.drawText(box, Qt::AlignCenter | Qt::TextShowMnemonic, qtCaption(bar_[i].caption));
    }
    painter.end();
    // GL rows run from the bottom up.
    image_ = image.mirrored(false, true);
    imageDirty_ = false;
}

void LinuxMenuStrip::draw(int32_t windowWidth, int32_t windowHeight)
{
    if (height() <= 0 || windowWidth <= 0 || windowHeight < height()) return;
    if (imageDirty_ || image_.width() != windowWidth) renderImage(windowWidth);
    drawAtTop(image_, windowHeight);
}

bool LinuxMenuStrip::mouse(int32_t button, int32_t state, int32_t x, int32_t yFromTop)
{
    if (menuOpen()) return true;
    if (!layout_.contains(x, yFromTop) || height() <= 0) return false;
    if (button == GLUT_LEFT_BUTTON && state == GLUT_DOWN) {
        const int index = layout_.titleAt(x, yFromTop);
        if (index >= 0) openMenus(index, false);
    }
    return true;
}

bool LinuxMenuStrip::passiveMotion(int32_t x, int32_t yFromTop)
{
    const int hover = layout_.titleAt(x, yFromTop);
    if (hover != hoverIndex_) {
        hoverIndex_ = hover;
        imageDirty_ = true;
        if (window_.redraw) window_.redraw();
    }
    return height() > 0 && layout_.contains(x, yFromTop);
}

bool LinuxMenuStrip::key(unsigned char key, int32_t modifiers)
{
    // Alt alone with a letter; with Ctrl the key belongs to the bindings.
    if (height() <= 0 || menuOpen() || (modifiers & GLUT_ACTIVE_ALT) == 0 || (modifiers & GLUT_ACTIVE_CTRL) != 0)
        return false;
    const int index = layout_.menuForMnemonic(static_cast<char>(key));
    if (index < 0) return false;
    openMenus(index, true);
    return true;
}

bool LinuxMenuStrip::special(int32_t key, int32_t modifiers)
{
    if (height() <= 0 || menuOpen() || key != GLUT_KEY_F10 || modifiers != 0 || bar_.empty()) return false;
    openMenus(0, true);
    return true;
}

void LinuxMenuStrip::openMenus(int index, bool fromKeyboard)
{
    while (index >= 0 && index < static_cast<int>(bar_.size())) {
        openIndex_ = index;
        hoverIndex_ = -1;
        imageDirty_ = true;
        if (window_.redraw) window_.redraw();

        QMenu menu;
        fillMenu(menu, bar_[static_cast<size_t>(index)].submenu);
        const MenuStripLayout::Title& title = layout_.titles()[static_cast<size_t>(index)];
        int32_t screenX = 0, screenY = 0;
        window_.toScreen(title.left, height(), &screenX, &screenY);
        int next = -1;
        const int32_t chosen = runMenu(menu, screenX, screenY, index, fromKeyboard, &next);
        if (chosen != 0 && window_.choose) window_.choose(chosen);
        index = chosen != 0 ? -1 : next;
    }
    openIndex_ = -1;
    imageDirty_ = true;
    if (window_.redraw) window_.redraw();
}

int32_t LinuxMenuStrip::runMenu(QMenu& menu, int32_t screenX, int32_t screenY, int index, bool selectFirst, int* next)
{
    if (window_.releasePointer) window_.releasePointer();
    MenuNavigation navigation(menu, layout_, window_, index);
    menu.installEventFilter(&navigation);
    for (QMenu* sub : menu.findChildren<QMenu*>()) sub->installEventFilter(&navigation);

    int32_t chosen = 0;
    for (QAction* action : menu.findChildren<QAction*>()) {
        if (action->menu() || action->isSeparator()) continue;
        QObject::connect(action, &QAction::triggered, [&chosen, action] { chosen = action->data().toInt(); });
    }
    QEventLoop loop;
    QObject::connect(&menu, &QMenu::aboutToHide, &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    QTimer keepAlive;
    QObject::connect(&keepAlive, &QTimer::timeout, [this] {
        if (window_.serviceWindow) window_.serviceWindow();
    });
    keepAlive.start(16);

    menu.popup(QPoint(screenX, screenY));
    if (selectFirst) {
        if (QAction* first = firstEnabledAction(menu)) menu.setActiveAction(first);
    }
    if (menu.isVisible()) loop.exec();
    keepAlive.stop();
    menu.removeEventFilter(&navigation);
    *next = navigation.next;
    if (window_.menuClosed) window_.menuClosed();
    return chosen;
}

void LinuxMenuStrip::popup(const MenuBar& menus, int32_t x, int32_t yFromTop)
{
    if (menuOpen()) return;
    QMenu menu;
    for (const MenuItem& top : menus) {
        QString caption = qtCaption(top.caption).left(POPUP_CAPTION_LIMIT);
        QMenu* sub = menu.addMenu(caption);
        fillMenu(*sub, top.submenu);
    }
    int32_t screenX = 0, screenY = 0;
    window_.toScreen(x, yFromTop, &screenX, &screenY);
    popupOpen_ = true;
    int next = -1;
    const int32_t chosen = runMenu(menu, screenX, screenY, -1, false, &next);
    popupOpen_ = false;
    if (chosen != 0 && window_.choose) window_.choose(chosen);
}
