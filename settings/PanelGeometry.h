#pragma once

#include <juce_graphics/juce_graphics.h>

#include <array>
#include <vector>

/** The geometry of the instrument's panel: one table that both the pictures (painted by
    tools/main_artwork.cpp) and the widgets laid over them are drawn from, so that a printed
    slot or scale label and the cap or pointer that must sit on it cannot drift apart.

    Unless a name says otherwise, bounds are in tab coordinates, which are the pixel
    coordinates of the 1035 x 420 background pictures.
*/
namespace tarnovelle::PanelGeometry
{
//==============================================================================
// Picture sizes.

constexpr int backgroundWidth = 1035;
constexpr int backgroundHeight = 420;

/** The part of a background that the editor window shows: the tab is 1000 wide and sits
    below the 30 pixel tab bar of the 435 pixel high editor window. */
constexpr int visibleWidth = 1000;
constexpr int visibleHeight = 405;

/** The size each tab gives itself before the tabbed component lays it out. */
constexpr int tabWidth = 1000;
constexpr int tabHeight = 420;

constexpr int switchWidth = 29;
constexpr int switchHeight = 65;
constexpr int knobWidth = 66;
constexpr int knobHeight = 65;
constexpr int buttonWidth = 70;
constexpr int buttonHeight = 55;
constexpr int lampSize = 21;
constexpr int iconSize = 256;

//==============================================================================
// The main window and the editor window that fills it, in window coordinates.

constexpr int mainWindowWidth = 1000;
constexpr int mainWindowHeight = 433;
constexpr int editorWidth = 1000;
constexpr int editorHeight = 435;
constexpr int tabBarDepth = 30;

/** "Connected" or "NOT Connected", to the left of the CONNECT switch over the tab bar. */
inline const juce::Rectangle<int> statusLabel{ 824, 0, 120, 24 };
inline const juce::Rectangle<int> connectSwitch{ 952, 0, 24, 30 };

/** A point in tab coordinates as it lies in the window, below the tab bar. */
inline juce::Point<int> inWindow (juce::Point<int> inTab) { return inTab.translated (0, tabBarDepth); }

//==============================================================================
// Widget bounds on the settings tab, in the order the tab adds them.

inline const juce::Rectangle<int> keyboard{ 151, 92, 427, 250 };
inline const juce::Rectangle<int> lfo{ 436, 226, 29, 65 };
inline const juce::Rectangle<int> velocitySelector{ 253, 100, 29, 65 };
inline const juce::Rectangle<int> aftertouchSelector{ 629, 99, 29, 65 };
inline const juce::Rectangle<int> arpHold{ 439, 99, 29, 65 };
inline const juce::Rectangle<int> bendRange{ 599, 213, 114, 106 };
inline const juce::Rectangle<int> stepSize{ 808, 76, 114, 106 };
inline const juce::Rectangle<int> clkSync{ 810, 206, 114, 106 };
inline const juce::Rectangle<int> gateLen{ 743, 227, 29, 65 };
inline const juce::Rectangle<int> tapAvg{ 756, 98, 29, 65 };
inline const juce::Rectangle<int> midiChooser{ 80, 220, 288, 120 };
inline const juce::Rectangle<int> inputGain{ 535, 99, 29, 65 };

/** The two switches inside the keyboard widget, in widget coordinates. */
inline const juce::Rectangle<int> keyboardModeSwitch{ 8, 8, 29, 65 };
inline const juce::Rectangle<int> keyboardLegatoSwitch{ 379, 135, 29, 65 };

/** The two knobs inside the MIDI channel widget, in widget coordinates. */
inline const juce::Rectangle<int> midiOutKnob{ 42, 17, 66, 65 };
inline const juce::Rectangle<int> midiInKnob{ 167, 15, 66, 65 };

/** The knob button inside each one-knob widget, in widget coordinates. */
inline const juce::Rectangle<int> knobButton{ 24, 24, 66, 65 };

//==============================================================================
// Sequences tab and firmware tab.

inline const juce::Rectangle<int> seqLoadButton{ 536, 232, 70, 55 };
inline const juce::Rectangle<int> seqSaveButton{ 696, 232, 70, 55 };
inline const juce::Rectangle<int> seqFactoryButton{ 304, 232, 70, 55 };
inline const juce::Rectangle<int> seqEditButton{ 856, 232, 70, 55 };

inline const juce::Rectangle<int> updaterButton{ 704, 232, 70, 55 };
inline const juce::Rectangle<int> versionCaptionLabel{ 242, 238, 128, 24 };
inline const juce::Rectangle<int> versionLabel{ 380, 238, 60, 26 };
inline const juce::Rectangle<int> webLinkButton{ 544, 232, 70, 55 };

//==============================================================================
// The switch picture: a round cap that slides in a vertical slot, in picture coordinates
// (29 x 65). The slot printed on the background lies under the same coordinates.

enum class SwitchPosition
{
    top,
    middle,
    bottom
};

constexpr float switchCapCentreX = 14.5f;
constexpr float switchCapRadius = 10.0f;

constexpr float switchCapCentreY (SwitchPosition position)
{
    return position == SwitchPosition::top ? 13.5f : (position == SwitchPosition::middle ? 32.5f : 51.5f);
}

/** The printed slot the cap slides in. */
inline const juce::Rectangle<float> switchSlot{ 10.0f, 5.0f, 9.0f, 55.0f };

/** Where a position label starts, to the right of the switch area. */
constexpr float switchLabelGap = 5.0f;

//==============================================================================
// The knob picture, in picture coordinates (66 x 65).

constexpr float knobCentreX = 33.0f;
constexpr float knobCentreY = 32.5f;
constexpr float knobSkirtRadius = 23.0f;
constexpr float knobCapRadius = 18.0f;

/** The picture index that stands for knobAll. */
constexpr int allPicture = -1;

constexpr float firstKnobAngle = 222.0f;
constexpr float knobAngleStep = 19.3f;
constexpr float allKnobAngle = 204.0f;

/** The pointer angle of a knob picture, in degrees clockwise from 12 o'clock, 0 to 360. */
constexpr float knobAngleDegrees (int picture)
{
    if (picture == allPicture)
        return allKnobAngle;

    const float angle = firstKnobAngle + knobAngleStep * (float) picture;
    return angle >= 360.0f ? angle - 360.0f : angle;
}

/** The point at the given distance from the centre, in the direction of a clockwise angle
    from 12 o'clock. */
inline juce::Point<float> pointOnRay (juce::Point<float> centre, float angleDegrees, float radius)
{
    const auto radians = juce::degreesToRadians (angleDegrees);
    return { centre.x + radius * std::sin (radians), centre.y - radius * std::cos (radians) };
}

/** The printed tick of each scale position, from and to this distance from the knob centre. */
constexpr float tickInnerRadius = 27.5f;
constexpr float tickOuterRadius = 31.0f;

//==============================================================================
// The printed controls of the settings tab.

/** A few position labels are printed as small pictures instead of text. */
enum class LabelIcon
{
    none,
    straightLine,    ///< a straight rising line
    curvedLine,      ///< a line curving upwards late
    secondCurvedLine ///< a line curving upwards early
};

struct PositionLabel
{
    SwitchPosition position;
    const char* text;
    LabelIcon icon = LabelIcon::none;
};

struct PrintedSwitch
{
    const char* name;          ///< printed below the slot; a line break splits it
    juce::Rectangle<int> area; ///< the 29 x 65 switch picture area, tab coordinates
    std::vector<PositionLabel> labels;

    /** The left end and vertical centre of a position label. */
    juce::Point<float> labelAnchor (SwitchPosition position) const
    {
        return { (float) area.getRight() + switchLabelGap, (float) area.getY() + switchCapCentreY (position) };
    }

    /** The top centre of the printed name. */
    juce::Point<float> nameAnchor() const { return { (float) area.getCentreX(), (float) area.getBottom() + 2.0f }; }
};

struct ScaleLabel
{
    int picture; ///< the knob picture whose pointer points at this label, or allPicture
    const char* text;
    float extraRadius = 0.0f; ///< pushes a crowded label further out along its ray
};

struct PrintedKnob
{
    const char* name;          ///< printed below the scale
    juce::Rectangle<int> area; ///< the 66 x 65 knob picture area, tab coordinates
    float labelRadius;         ///< distance of the label centres from the knob centre
    std::vector<ScaleLabel> labels;

    juce::Point<float> centre() const
    {
        return { (float) area.getX() + knobCentreX, (float) area.getY() + knobCentreY };
    }

    /** The centre of a printed scale label. */
    juce::Point<float> labelCentre (const ScaleLabel& label) const
    {
        return pointOnRay (centre(), knobAngleDegrees (label.picture), labelRadius + label.extraRadius);
    }

    /** The top centre of the printed name. */
    juce::Point<float> nameAnchor() const { return centre().translated (0.0f, labelRadius + 7.0f); }
};

/** The absolute bounds of a switch or knob that sits inside a widget. */
inline juce::Rectangle<int> inWidget (juce::Rectangle<int> widget, juce::Rectangle<int> child)
{
    return child + widget.getPosition();
}

inline const std::array<PrintedSwitch, 9> switches{ {
    { "Note Priority",
      inWidget (keyboard, keyboardModeSwitch),
      { { SwitchPosition::top, "High" }, { SwitchPosition::middle, "Last" }, { SwitchPosition::bottom, "Low" } } },
    { "Velocity\nResponse",
      velocitySelector,
      { { SwitchPosition::top, "", LabelIcon::straightLine },
        { SwitchPosition::middle, "", LabelIcon::curvedLine },
        { SwitchPosition::bottom, "", LabelIcon::secondCurvedLine } } },
    { "Play", arpHold, { { SwitchPosition::top, "Note On" }, { SwitchPosition::bottom, "Hold" } } },
    { "Seq Retrig",
      inputGain,
      { { SwitchPosition::top, "Reset" }, { SwitchPosition::middle, "Legato" }, { SwitchPosition::bottom, "None" } } },
    { "Next Seq",
      aftertouchSelector,
      { { SwitchPosition::top, "End" },
        { SwitchPosition::middle, "Instant reset" },
        { SwitchPosition::bottom, "Instant conti" } } },
    { "Step On", tapAvg, { { SwitchPosition::top, "Clk" }, { SwitchPosition::bottom, "Gate" } } },
    { "LFO Key\nRetrigger", lfo, { { SwitchPosition::top, "On" }, { SwitchPosition::bottom, "Off" } } },
    { "Envelope\nLegato Mode",
      inWidget (keyboard, keyboardLegatoSwitch),
      { { SwitchPosition::top, "On" }, { SwitchPosition::bottom, "Off" } } },
    { "Gate",
      gateLen,
      { { SwitchPosition::top, "Short" }, { SwitchPosition::middle, "Med" }, { SwitchPosition::bottom, "long" } } },
} };

inline std::vector<ScaleLabel> numberedScale (int count, int firstPicture = 0)
{
    std::vector<ScaleLabel> labels;
    for (int i = 0; i < count; ++i)
        labels.push_back ({ firstPicture + i, "" });
    return labels;
}

/** Knob scales. The numbered scales keep their texts in scaleText(). */
inline const std::array<PrintedKnob, 5> knobs{ {
    { "TRANSMIT CHANNEL", inWidget (midiChooser, midiOutKnob), 44.0f, numberedScale (16) },
    { "RECEIVE CHANNEL", inWidget (midiChooser, midiInKnob), 44.0f,
      [] {
          auto labels = numberedScale (16);
          labels.insert (labels.begin(), ScaleLabel{ allPicture, "All", 3.0f });
          return labels;
      }() },
    { "STEP",
      inWidget (stepSize, knobButton),
      41.0f,
      { { 0, "1/4" }, { 2, "1/8", 1.0f }, { 4, "1/16", 3.0f }, { 6, "1/32", 1.0f } } },
    { "BEND RANGE", inWidget (bendRange, knobButton), 40.0f, numberedScale (12) },
    { "SYNC", inWidget (clkSync, knobButton), 41.0f, { { 0, "Auto", 2.0f }, { 2, "Int" }, { 4, "Ext", 1.0f } } },
} };

/** The printed text of a scale label: numbered scales print the picture index plus one. */
inline juce::String scaleText (const ScaleLabel& label)
{
    if (label.text != nullptr && *label.text != 0)
        return label.text;

    return juce::String (label.picture + 1);
}

//==============================================================================
// Section titles, captions and the logo.

struct Section
{
    const char* title;
    juce::Rectangle<int> titleBar; ///< the light bar the title is printed on
    int bottom;                    ///< where the thin frame of the section ends
};

inline const std::array<Section, 4> sections{ {
    { "KEYBOARD PARAMETERS", { 96, 62, 270, 15 }, 196 },
    { "SEQUENCER CONTROL", { 408, 62, 530, 15 }, 196 },
    { "MIDI CHANNEL SELECT", { 96, 203, 270, 15 }, 338 },
    { "MODULE PARAMETERS", { 408, 203, 530, 15 }, 338 },
} };

struct Caption
{
    const char* text;
    juce::Rectangle<int> bar; ///< the light bar the caption is printed on
};

/** A caption bar centred above a button. */
inline juce::Rectangle<int> captionAbove (juce::Rectangle<int> button, int width)
{
    return { button.getCentreX() - width / 2, 208, width, 15 };
}

inline const std::array<Caption, 4> sequencesCaptions{ {
    { "RESET ALL SEQUENCES", captionAbove (seqFactoryButton, 140) },
    { "LOAD SEQUENCES", captionAbove (seqLoadButton, 112) },
    { "SAVE SEQUENCES", captionAbove (seqSaveButton, 112) },
    { "EDIT SEQUENCES", captionAbove (seqEditButton, 112) },
} };

inline const std::array<Caption, 3> firmwareCaptions{ {
    { "FIRMWARE VERSION", { 215, 208, 262, 15 } },
    { "CHECK UPDATE", captionAbove (webLinkButton, 104) },
    { "UPDATE FIRMWARE", captionAbove (updaterButton, 116) },
} };

/** The thin printed frames around the controls of the sequences and firmware tabs. */
inline const juce::Rectangle<int> sequencesFrame{ 256, 215, 718, 92 };
inline const juce::Rectangle<int> firmwareFrame{ 200, 215, 618, 92 };

/** The recessed window behind the firmware version labels. */
inline const juce::Rectangle<int> versionWindow{ 222, 233, 248, 36 };

/** The product logo, lower right inside the visible part of every tab. */
inline const juce::Rectangle<int> logo{ 700, 350, 238, 40 };

} // namespace tarnovelle::PanelGeometry
