#pragma once

#include "protocol/DeviceSettings.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <type_traits>
#include <variant>
#include <vector>

namespace tarnovelle
{

/** The pictures a selector control can show: the three cap positions of a slide switch and
    the positions of a knob (knob0 .. knob15 along the scale, knobAll just before knob0).
*/
enum class SelectorPicture
{
    switchTop,
    switchMiddle,
    switchBottom,
    knob0,
    knobAll = knob0 + 16
};

/** The knob picture at scale position index (0 .. 15). */
constexpr SelectorPicture knobPicture (int index) noexcept
{
    return static_cast<SelectorPicture> (static_cast<int> (SelectorPicture::knob0) + index);
}

juce::Image getSelectorPicture (SelectorPicture picture);

//==============================================================================
/** How a click moves a control to its next value.

    The arithmetic is done in the width of the stored value: in 8 bits a stored 255 steps
    to 0 before the wrapping test, and doubling 128 gives 0.
*/
struct AdvanceRule
{
    enum class Kind
    {
        modulo,    // add 1, take the remainder of the division by limit
        increment, // add 1; above limit, restart
        doubling   // multiply by 2; above limit, restart
    };

    Kind kind;
    juce::uint32 limit;
    juce::uint32 restart;

    static constexpr AdvanceRule modulo (juce::uint32 n) noexcept { return { Kind::modulo, n, 0 }; }
    static constexpr AdvanceRule wrapToOneAfter (juce::uint32 m) noexcept { return { Kind::increment, m, 1 }; }
    static constexpr AdvanceRule wrapToZeroAfterOne() noexcept { return { Kind::increment, 1, 0 }; }
    static constexpr AdvanceRule doubling() noexcept { return { Kind::doubling, 32, 4 }; }

    template <typename Value>
    Value next (Value value) const noexcept
    {
        switch (kind)
        {
            case Kind::modulo: return static_cast<Value> (static_cast<Value> (value + 1u) % limit);
            case Kind::increment: return wrap (static_cast<Value> (value + 1u));
            case Kind::doubling: return wrap (static_cast<Value> (value * 2u));
        }

        return value;
    }

    /** One step back: the value from which a click reaches this one. A value off the cycle
        that clicks walk (one the instrument reported) steps back from where its clicks enter
        the cycle, to the cycle's last value before that.
    */
    template <typename Value>
    Value previous (Value value) const noexcept
    {
        const int cycleLength = getCycleLength (times (value, longestWalk));
        const auto isOnCycle = [&] (Value v) { return times (v, cycleLength) == v; };

        auto entry = value;

        for (int i = 0; i < longestWalk && ! isOnCycle (entry); ++i)
            entry = next (entry);

        return times (entry, cycleLength - 1);
    }

private:
    // Every rule's cycle, and every way into one, is far shorter than this.
    static constexpr int longestWalk = 64;

    template <typename Value>
    Value times (Value value, int clicks) const noexcept
    {
        for (int i = 0; i < clicks; ++i)
            value = next (value);

        return value;
    }

    template <typename Value>
    int getCycleLength (Value onCycle) const noexcept
    {
        int length = 1;

        for (auto v = next (onCycle); v != onCycle && length < longestWalk; v = next (v))
            ++length;

        return length;
    }

    template <typename Value>
    Value wrap (Value value) const noexcept
    {
        return value > limit ? static_cast<Value> (restart) : value;
    }
};

//==============================================================================
/** One position of a control and the picture that shows it. */
struct PicturedValue
{
    juce::uint32 value;
    SelectorPicture picture;
};

/** The values a control has pictures for; any other value has none. */
using PictureTable = std::vector<PicturedValue>;

/** The knob positions knob (firstPicture) onwards for the values first .. first + count - 1. */
PictureTable knobScale (juce::uint32 firstValue, int count, int firstPicture = 0);

/** Everything that makes one switch or knob of the panel what it is. */
struct SelectorControlDescription
{
    DeviceSetting setting; // the code its messages carry
    PictureTable pictures;
    AdvanceRule advance;
    juce::uint32 initialValue;
    SelectorPicture initialPicture; // not always the picture of the initial value
    juce::Rectangle<int> bounds;    // of the button in the widget; empty: it fills the widget
};

//==============================================================================
/** A component showing one or two switches or knobs of the settings panel.

    A click moves the clicked control to its next value, shows it and broadcasts the
    control's code followed by the value in decimal. Values read from the instrument are
    shown through the display operations, which never broadcast anything, so reading the
    settings never writes them back.
*/
class SelectorWidget : public juce::Component, public juce::ActionBroadcaster, public juce::Button::Listener
{
public:
    ~SelectorWidget() override;

    void paint (juce::Graphics&) override {}
    void resized() override;
    void buttonClicked (juce::Button* button) override;

    /** The keyboard's steps: forwards as a click does, backwards to the value a click would
        come from; either way the control's message goes out with the value reached. Returns
        false when the button is none of this widget's controls.
    */
    bool stepControl (const juce::Button& button, bool forwards);

    int getNumControls() const noexcept { return (int) mControls.size(); }
    juce::ImageButton* getControlButton (int index) const noexcept;
    juce::uint32 getControlValue (int index) const noexcept;

protected:
    SelectorWidget() = default;

    /** Creates the control's button, shows its initial picture and sets its initial value.
        The value keeps the width of the variable it is stored in.
    */
    void addControl (const SelectorControlDescription& description, std::unique_ptr<juce::ImageButton>& button,
                     juce::uint8& value);
    void addControl (const SelectorControlDescription& description, std::unique_ptr<juce::ImageButton>& button,
                     juce::uint32& value);

    /** Stores the value in the control's width and shows its picture, if it has one. */
    void showControlValue (int index, juce::uint32 value);

private:
    struct Control
    {
        const SelectorControlDescription* description;
        juce::ImageButton* button;
        std::variant<juce::uint8*, juce::uint32*> value;
    };

    template <typename Value>
    void addControlStoredIn (const SelectorControlDescription&, std::unique_ptr<juce::ImageButton>&, Value&);
    void showPicture (const Control&, SelectorPicture);
    void step (int index, bool forwards);

    std::vector<Control> mControls;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SelectorWidget)
};

//==============================================================================
/** The form of the widgets with a single switch or knob. */
class OneControlSelector : public SelectorWidget
{
public:
    ~OneControlSelector() override;

    /** Stores the value and shows its picture; a value without a picture keeps the last one. */
    void showValue (juce::uint8 value);

protected:
    OneControlSelector (const SelectorControlDescription& description, int designWidth, int designHeight);

private:
    std::unique_ptr<juce::ImageButton> mButton;
    juce::uint8 mValue = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OneControlSelector)
};

} // namespace tarnovelle
