#pragma once

// What the pictures of tarnovelle_artwork share: the panel geometry, the colours and fonts of
// the panel print, the record of everything printed, and the painters main_artwork.cpp calls.

#include "settings/PanelGeometry.h"

#include <juce_graphics/juce_graphics.h>

#include <array>
#include <vector>

namespace tarnovelle::artwork
{
namespace Geo = PanelGeometry;

//==============================================================================
namespace Palette
{
    const juce::Colour print{ 0xffe8e5db };
    const juce::Colour bar{ 0xffd9d5c9 };
    const juce::Colour barText{ 0xff1b1c1e };
    const juce::Colour recess{ 0xff060607 };
} // namespace Palette

//==============================================================================
/** The typefaces of the panel print, loaded from font files so that the pictures do not
    depend on which fonts the system would pick. */
class Fonts final
{
public:
    explicit Fonts (const juce::File& folder)
    {
        mRegular = load (folder.getChildFile ("DejaVuSansCondensed.ttf"));
        mBold = load (folder.getChildFile ("DejaVuSansCondensed-Bold.ttf"));
        mLogo = load (folder.getChildFile ("DejaVuSans-Bold.ttf"));
    }

    bool isComplete() const { return mRegular != nullptr && mBold != nullptr && mLogo != nullptr; }

    juce::Font regular (float height) const { return juce::Font (mRegular).withHeight (height); }
    juce::Font bold (float height) const { return juce::Font (mBold).withHeight (height); }
    juce::Font logo (float height) const { return juce::Font (mLogo).withHeight (height); }

private:
    juce::Typeface::Ptr load (const juce::File& file)
    {
        auto& data = *mFontData.add (new juce::MemoryBlock());
        if (! file.loadFileAsData (data) || data.getSize() == 0)
        {
            std::cerr << "cannot read the font " << file.getFullPathName() << "\n";
            return nullptr;
        }
        return juce::Typeface::createSystemTypefaceFor (data.getData(), data.getSize());
    }

    juce::OwnedArray<juce::MemoryBlock> mFontData;
    juce::Typeface::Ptr mRegular, mBold, mLogo;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Fonts)
};

//==============================================================================
/** Everything printed on a background, remembered so the layout can be checked. */
class PrintLayout final
{
public:
    void addText (const juce::String& what, juce::Rectangle<float> box) { mTexts.add ({ what, box }); }
    void addFault (const juce::String& what) { mFaults.add (what); }
    void addObstacle (const juce::String& what, juce::Rectangle<float> box) { mObstacles.add ({ what, box }); }
    void addKnob (const juce::String& what, juce::Point<float> centre, float radius)
    {
        mKnobs.add ({ what, centre, radius });
    }

    /** Reports every clash; returns true when there is none. */
    bool check (const juce::String& pictureName) const
    {
        int problems = 0;
        auto report = [&] (const juce::String& text) {
            std::cerr << pictureName << ": " << text << "\n";
            ++problems;
        };

        for (auto& fault : mFaults)
            report (fault);

        const juce::Rectangle<float> visible (0.0f, 0.0f, (float) Geo::visibleWidth, (float) Geo::visibleHeight);

        for (int i = 0; i < mTexts.size(); ++i)
        {
            const auto& a = mTexts.getReference (i);

            if (! visible.contains (a.box))
                report ("\"" + a.what + "\" leaves the visible area");

            for (int j = i + 1; j < mTexts.size(); ++j)
                if (a.box.expanded (1.0f).intersects (mTexts.getReference (j).box))
                    report ("\"" + a.what + "\" touches \"" + mTexts.getReference (j).what + "\"");

            for (auto& obstacle : mObstacles)
                if (a.box.intersects (obstacle.box))
                    report ("\"" + a.what + "\" lies on " + obstacle.what);

            for (auto& knob : mKnobs)
            {
                const auto nearest = a.box.getConstrainedPoint (knob.centre);
                if (nearest.getDistanceFrom (knob.centre) < knob.radius)
                    report ("\"" + a.what + "\" lies on the knob " + knob.what);
            }
        }

        return problems == 0;
    }

private:
    struct Item
    {
        juce::String what;
        juce::Rectangle<float> box;
    };

    struct Knob
    {
        juce::String what;
        juce::Point<float> centre;
        float radius;
    };

    juce::Array<Item> mTexts, mObstacles;
    juce::StringArray mFaults;
    juce::Array<Knob> mKnobs;
};

//==============================================================================
// The panel print (PanelPrint.cpp).

enum class Anchor
{
    left,
    centre,
    right
};

/** Prints one line so that its capitals are centred on y; x is its left end, centre or right
    end. Baselines and left ends are snapped to whole pixels for crisp print. Returns the box
    of the printed glyphs. */
juce::Rectangle<float> printLine (juce::Graphics& g, const juce::String& text, const juce::Font& font,
                                  juce::Point<float> at, Anchor anchor, juce::Colour colour);

/** Brushed metal of that size in pixels, brightest within `lit`; the noise is seeded. */
juce::Image paintMetal (int width, int height, juce::Rectangle<float> lit, int seed, float brightness = 1.0f);

/** The settings tab's background with its whole print, at `scale` pixels per point. */
juce::Image paintParametersBackground (const Fonts& fonts, PrintLayout& layout, int scale);

/** The background of a tab of buttons (sequences, firmware) with their captions. */
struct ButtonTab
{
    std::vector<Geo::Caption> captions;
    std::vector<juce::Rectangle<int>> buttons;
    juce::Rectangle<int> frame;
    int seed;
    bool withVersionWindow;
};
juce::Image paintButtonTabBackground (const Fonts& fonts, const ButtonTab& tab, PrintLayout& layout, int scale);

//==============================================================================
// The widget pictures (WidgetPictures.cpp).

enum class KeyLook
{
    normal,
    over,
    down
};

// Each picture is painted from its design in points at `scale` pixels per point: the same
// shapes, with every edge and line as sharp as one pixel allows at that scale.

juce::Image paintKnobPicture (float angleDegrees, int scale);
juce::Image paintSwitchPicture (Geo::SwitchPosition position, int scale);

/** A grey key: raised, raised under the mouse, or pressed in. */
juce::Image paintButtonPicture (KeyLook look, int scale);

juce::Image paintLampPicture (bool lit, int scale);
juce::Image paintIcon (const Fonts& fonts);

} // namespace tarnovelle::artwork
