// InterfacePanels: what the Window menu shows and hides — the whole interface, the
// colour, brush and layers panels, the toolbar and the toolbar's three sub-tools —
// and the relayout the toolbar side and the layout defaults ask for.
//
// The menu commands talk to the panels only through this interface. The `HUD`
// implements it once it exists; until then `InterfacePanelRecord` keeps the switches
// so the commands and their check marks work the same way.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

enum class InterfacePanel : int32_t {
    Colour = 0,
    Brush,
    Toolbar,       // the navigation panel
    ShapeTool,     // sub-tools of the toolbar
    OpacityTool,
    UndoRedoTool,
    Layers,
};
inline constexpr int INTERFACE_PANEL_COUNT = 7;

class InterfacePanels {
public:
    virtual ~InterfacePanels() = default;

    // The whole interface (Tab).
    virtual bool interfaceShown() const = 0;
    virtual void setInterfaceShown(bool shown) = 0;

    virtual bool panelShown(InterfacePanel panel) const = 0;
    virtual void setPanelShown(InterfacePanel panel, bool shown) = 0;
    // Every panel and sub-tool as a first start shows them.
    virtual void restoreDefaultVisibility() = 0;

    // True once the interface has been laid out for the window.
    virtual bool laidOut() const = 0;
    // Places the panels again for the window size and the toolbar side.
    virtual void layOut() = 0;
};

// The switches alone, for as long as no panel exists to show them.
class InterfacePanelRecord : public InterfacePanels {
public:
    InterfacePanelRecord() { restoreDefaultVisibility(); }

    bool interfaceShown() const override { return interfaceShown_; }
    void setInterfaceShown(bool shown) override { interfaceShown_ = shown; }
    bool panelShown(InterfacePanel panel) const override { return shown_[index(panel)]; }
    void setPanelShown(InterfacePanel panel, bool shown) override { shown_[index(panel)] = shown; }
    void restoreDefaultVisibility() override { shown_.fill(true); }
    bool laidOut() const override { return layouts_ > 0; }
    // Nothing to place yet; counted so callers can see a layout was asked for.
    void layOut() override { ++layouts_; }
    int layoutCount() const { return layouts_; }

private:
    static std::size_t index(InterfacePanel panel) { return static_cast<std::size_t>(panel); }
    bool interfaceShown_ = true;
    std::array<bool, INTERFACE_PANEL_COUNT> shown_{};
    int layouts_ = 0;
};
