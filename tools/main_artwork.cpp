/*  tarnovelle_artwork: paints every picture of the interface from the panel geometry and
    writes them into the resources folder given on the command line:

        tarnovelle_artwork <resources folder>

    The backgrounds become baseline JPEGs, everything else RGBA PNGs. All drawing is done into
    juce::Image with juce::Graphics, so no display is needed. The texture noise is seeded, so
    the same sources give the same pictures.

    Before writing, the printed layout is checked: no text may overlap another text, a slot or
    a knob, and everything must lie inside the visible part of the tab. A failed check is
    reported and makes the program end with exit code 1 (the pictures are written anyway, so
    they can be looked at).
*/

#include "settings/PanelGeometry.h"

#include <juce_graphics/juce_graphics.h>

#include <cmath>
#include <iostream>

namespace tarnovelle
{
namespace
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
            if (!file.loadFileAsData (data) || data.getSize() == 0)
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
            auto report = [&] (const juce::String& text)
            {
                std::cerr << pictureName << ": " << text << "\n";
                ++problems;
            };

            for (auto& fault : mFaults)
                report (fault);

            const juce::Rectangle<float> visible (0.0f, 0.0f, (float) Geo::visibleWidth, (float) Geo::visibleHeight);

            for (int i = 0; i < mTexts.size(); ++i)
            {
                const auto& a = mTexts.getReference (i);

                if (!visible.contains (a.box))
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
    // Text.

    float capHeight (const juce::Font& font)
    {
        juce::GlyphArrangement glyphs;
        glyphs.addLineOfText (font, "H", 0.0f, 0.0f);
        juce::Path ink;
        glyphs.createPath (ink);
        return ink.getBounds().getHeight();
    }

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
                                      juce::Point<float> at, Anchor anchor, juce::Colour colour)
    {
        juce::GlyphArrangement glyphs;
        glyphs.addLineOfText (font, text, 0.0f, 0.0f);
        const auto width = glyphs.getBoundingBox (0, -1, false).getWidth();

        float left = at.x;
        if (anchor == Anchor::centre)
            left -= width / 2.0f;
        else if (anchor == Anchor::right)
            left -= width;

        const auto baseline = std::round (at.y + capHeight (font) / 2.0f);
        left = std::round (left);
        glyphs.moveRangeOfGlyphs (0, -1, left, baseline);

        g.setColour (colour);
        glyphs.draw (g);

        juce::Path ink;
        glyphs.createPath (ink);
        return ink.getBounds();
    }

    /** Prints text that may hold line breaks, each line centred under the top centre given. */
    juce::Rectangle<float> printLines (juce::Graphics& g, const juce::String& text, const juce::Font& font,
                                       juce::Point<float> topCentre, juce::Colour colour)
    {
        const auto lines = juce::StringArray::fromLines (text);
        const auto lineStep = std::round (font.getHeight() * 1.02f);
        const auto firstCentre = topCentre.y + capHeight (font) / 2.0f + 1.0f;

        juce::Rectangle<float> box;
        for (int i = 0; i < lines.size(); ++i)
        {
            const auto lineBox = printLine (g, lines[i], font, { topCentre.x, firstCentre + lineStep * (float) i },
                                            Anchor::centre, colour);
            box = box.isEmpty() ? lineBox : box.getUnion (lineBox);
        }
        return box;
    }

    //==============================================================================
    // The panel's metal.

    /** Brushed, matte dark metal with the soft fall-off of light a photograph shows. */
    juce::Image paintMetal (int width, int height, juce::Rectangle<float> lit, int seed, float brightness = 1.0f)
    {
        juce::Image image (juce::Image::RGB, width, height, false);
        juce::Random random (seed);
        juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);

        const auto centre = lit.getCentre();
        const auto halfW = lit.getWidth() / 2.0f;
        const auto halfH = lit.getHeight() / 2.0f;

        for (int y = 0; y < height; ++y)
        {
            // The brush leaves long horizontal streaks: noise smoothed along the row only.
            const float rowTone = (random.nextFloat() - 0.5f) * 1.6f;
            float streak = 0.0f;
            for (int warm = 0; warm < 60; ++warm)
                streak = streak * 0.96f + (random.nextFloat() - 0.5f);

            for (int x = 0; x < width; ++x)
            {
                streak = streak * 0.96f + (random.nextFloat() - 0.5f);
                const float grain = (random.nextFloat() - 0.5f) * 2.2f;

                const float dx = ((float) x - centre.x) / halfW;
                const float dy = ((float) y - centre.y) / halfH;
                const float vignette = 1.0f - 0.32f * std::pow (std::min (1.0f, (dx * dx + dy * dy) / 2.0f), 1.3f);

                // a broad soft light from the upper left
                const float lx = ((float) x - 0.3f * (float) width) / (float) width;
                const float ly = ((float) y - 0.1f * (float) height) / (float) height;
                const float light = 1.0f + 0.10f * std::exp (-(lx * lx * 2.5f + ly * ly * 3.0f));

                const float value = (43.0f * light * vignette + rowTone + streak * 0.55f + grain) * brightness;
                const auto level = [] (float v) { return (juce::uint8) juce::jlimit (0, 255, juce::roundToInt (v)); };
                pixels.setPixelColour (
                    x, y, juce::Colour (level (value * 0.97f), level (value * 0.99f), level (value * 1.04f)));
            }
        }

        return image;
    }

    void paintScrew (juce::Graphics& g, juce::Point<float> centre, float turn)
    {
        const float r = 6.5f;
        g.setGradientFill (juce::ColourGradient (juce::Colours::black.withAlpha (0.6f), centre.translated (0.5f, 1.5f),
                                                 juce::Colours::transparentBlack, centre.translated (r + 3.5f, 1.5f),
                                                 true));
        g.fillEllipse (
            juce::Rectangle<float> (2.0f * (r + 3.5f), 2.0f * (r + 3.5f)).withCentre (centre.translated (0.5f, 1.5f)));

        g.setGradientFill (juce::ColourGradient (juce::Colour (0xffb8babd), centre.translated (-3.0f, -4.0f),
                                                 juce::Colour (0xff4a4c50), centre.translated (3.0f, 5.0f), false));
        g.fillEllipse (juce::Rectangle<float> (2.0f * r, 2.0f * r).withCentre (centre));
        g.setColour (juce::Colours::black.withAlpha (0.5f));
        g.drawEllipse (juce::Rectangle<float> (2.0f * r, 2.0f * r).withCentre (centre), 0.8f);

        // the cross of the screw head
        for (float a : { turn, turn + juce::MathConstants<float>::halfPi })
        {
            const juce::Point<float> d (std::cos (a) * 4.2f, std::sin (a) * 4.2f);
            g.setColour (juce::Colour (0xff1a1b1d));
            g.drawLine ({ centre - d, centre + d }, 1.7f);
            g.setColour (juce::Colours::white.withAlpha (0.25f));
            g.drawLine ({ centre - d + juce::Point<float> (0.0f, 1.0f), centre + d + juce::Point<float> (0.0f, 1.0f) },
                        0.5f);
        }
    }

    void paintScrews (juce::Graphics& g)
    {
        const float right = (float) Geo::visibleWidth - 17.0f;
        const float bottom = (float) Geo::visibleHeight - 17.0f;
        paintScrew (g, { 17.0f, 17.0f }, 0.3f);
        paintScrew (g, { right, 17.0f }, 1.1f);
        paintScrew (g, { 17.0f, bottom }, 0.8f);
        paintScrew (g, { right, bottom }, 0.1f);
    }

    void paintLogo (juce::Graphics& g, const Fonts& fonts, PrintLayout& layout)
    {
        const auto area = Geo::logo.toFloat();
        const auto name = fonts.logo (30.0f).withExtraKerningFactor (0.16f);
        const auto nameBox =
            printLine (g, "TARNOVELLE", name, { area.getRight(), area.getY() + 12.0f }, Anchor::right, Palette::print);
        layout.addText ("TARNOVELLE", nameBox);

        const auto rule =
            juce::Rectangle<float> (nameBox.getX(), std::round (nameBox.getBottom()) + 5.0f, nameBox.getWidth(), 1.0f);
        g.setColour (Palette::print.withAlpha (0.7f));
        g.fillRect (rule);

        const auto tagline = fonts.regular (9.0f).withExtraKerningFactor (0.3f);
        const auto tagBox =
            printLine (g, "MONOPHONIC ANALOG SYNTHESIZER", tagline, { nameBox.getRight(), rule.getBottom() + 8.0f },
                       Anchor::right, Palette::print.withAlpha (0.85f));
        layout.addText ("tagline", tagBox);
    }

    /** A light bar with dark capitals on it. */
    void paintTitleBar (juce::Graphics& g, const Fonts& fonts, juce::Rectangle<int> bar, const juce::String& title,
                        PrintLayout& layout)
    {
        const auto area = bar.toFloat();
        g.setGradientFill (juce::ColourGradient (Palette::bar.brighter (0.06f), area.getTopLeft(),
                                                 Palette::bar.darker (0.08f), area.getBottomLeft(), false));
        g.fillRoundedRectangle (area, 1.5f);

        const auto font = fonts.bold (11.5f).withExtraKerningFactor (0.08f);
        const auto box = printLine (g, title, font, area.getCentre(), Anchor::centre, Palette::barText);
        if (!area.reduced (2.0f).contains (box))
            layout.addFault (title + " does not fit its bar " + box.toString() + " in " + area.toString());

        layout.addText (title + " bar", area);
    }

    /** A thin printed frame around a group of controls. */
    void paintFrame (juce::Graphics& g, juce::Rectangle<float> area)
    {
        g.setColour (Palette::print.withAlpha (0.3f));
        g.drawRoundedRectangle (area.reduced (0.5f), 4.0f, 1.0f);
    }

    /** The dark recess a push button sits in. */
    void paintButtonWell (juce::Graphics& g, juce::Rectangle<int> button)
    {
        const auto well = button.toFloat().reduced (1.0f, 0.5f).expanded (3.0f);
        g.setColour (Palette::recess.withAlpha (0.85f));
        g.fillRoundedRectangle (well, 6.0f);
        g.setColour (juce::Colours::white.withAlpha (0.12f));
        g.drawRoundedRectangle (well.expanded (0.5f), 6.5f, 1.0f);
    }

    //==============================================================================
    // The settings panel's print.

    void paintSlot (juce::Graphics& g, const Geo::PrintedSwitch& printed)
    {
        const auto slot = Geo::switchSlot + printed.area.getPosition().toFloat();

        // a printed escutcheon around the slot
        g.setColour (Palette::print.withAlpha (0.45f));
        g.drawRoundedRectangle (slot.expanded (3.0f), 7.5f, 1.0f);

        g.setColour (Palette::recess);
        g.fillRoundedRectangle (slot, 4.5f);

        // light falls into the slot from above: its upper inside is darkest, the lower lip catches light
        g.setGradientFill (juce::ColourGradient (juce::Colours::black, slot.getTopLeft(), juce::Colour (0xff1b1c1e),
                                                 slot.getBottomLeft(), false));
        g.fillRoundedRectangle (slot.reduced (1.0f), 3.5f);
        g.setColour (juce::Colours::white.withAlpha (0.18f));
        g.drawLine (slot.getX() + 3.0f, slot.getBottom() + 0.5f, slot.getRight() - 3.0f, slot.getBottom() + 0.5f, 1.0f);
    }

    /** The velocity curves: straight, curving up late (soft touch), curving up early (hard touch). */
    juce::Rectangle<float> paintVelocityIcon (juce::Graphics& g, Geo::LabelIcon icon, juce::Point<float> leftCentre)
    {
        const juce::Rectangle<float> box (std::round (leftCentre.x) + 0.5f, std::round (leftCentre.y - 6.0f) + 0.5f,
                                          19.0f, 12.0f);
        const auto at = [&box] (float x, float y)
        { return juce::Point<float> (box.getX() + x * box.getWidth(), box.getBottom() - y * box.getHeight()); };

        g.setColour (Palette::print.withAlpha (0.45f));
        g.drawLine ({ box.getBottomLeft(), box.getBottomRight() }, 0.8f);

        juce::Path curve;
        curve.startNewSubPath (at (0.0f, 0.0f));
        if (icon == Geo::LabelIcon::straightLine)
            curve.lineTo (at (1.0f, 1.0f));
        else if (icon == Geo::LabelIcon::curvedLine)
            curve.cubicTo (at (0.55f, 0.0f), at (0.85f, 0.3f), at (1.0f, 1.0f));
        else
            curve.cubicTo (at (0.15f, 0.7f), at (0.45f, 1.0f), at (1.0f, 1.0f));

        g.setColour (Palette::print);
        g.strokePath (curve, juce::PathStrokeType (1.5f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
        return box.expanded (0.75f);
    }

    void paintSwitchPrint (juce::Graphics& g, const Fonts& fonts, const Geo::PrintedSwitch& printed,
                           PrintLayout& layout)
    {
        paintSlot (g, printed);
        layout.addObstacle (juce::String ("the slot of ") + printed.name, printed.area.toFloat());

        for (auto& label : printed.labels)
        {
            const auto anchor = printed.labelAnchor (label.position);
            const auto box = label.icon == Geo::LabelIcon::none ? printLine (g, label.text, fonts.regular (11.0f),
                                                                             anchor, Anchor::left, Palette::print)
                                                                : paintVelocityIcon (g, label.icon, anchor);
            layout.addText (juce::String (printed.name) + ": " + label.text, box);
        }

        layout.addText (printed.name,
                        printLines (g, printed.name, fonts.bold (11.0f), printed.nameAnchor(), Palette::print));
    }

    void paintKnobPrint (juce::Graphics& g, const Fonts& fonts, const Geo::PrintedKnob& printed, PrintLayout& layout)
    {
        const auto centre = printed.centre();

        // the collar the knob stands in
        g.setColour (Palette::print.withAlpha (0.35f));
        g.drawEllipse (juce::Rectangle<float> (2.0f * 25.5f, 2.0f * 25.5f).withCentre (centre), 1.0f);

        for (auto& label : printed.labels)
        {
            const auto angle = Geo::knobAngleDegrees (label.picture);
            g.setColour (Palette::print);
            g.drawLine ({ Geo::pointOnRay (centre, angle, Geo::tickInnerRadius),
                          Geo::pointOnRay (centre, angle, Geo::tickOuterRadius) },
                        1.5f);

            const auto text = Geo::scaleText (label);
            const auto font = text.length() > 3 ? fonts.regular (10.0f) : fonts.regular (10.5f);
            const auto box = printLine (g, text, font, printed.labelCentre (label), Anchor::centre, Palette::print);
            layout.addText (juce::String (printed.name) + ": " + text, box);
        }

        const auto name = fonts.bold (10.5f).withExtraKerningFactor (0.05f);
        layout.addText (printed.name, printLines (g, printed.name, name, printed.nameAnchor(), Palette::print));
        layout.addKnob (printed.name, centre, Geo::tickOuterRadius + 1.0f);
    }

    juce::Image paintParametersBackground (const Fonts& fonts, PrintLayout& layout)
    {
        const juce::Rectangle<float> visible (0.0f, 0.0f, (float) Geo::visibleWidth, (float) Geo::visibleHeight);
        auto image = paintMetal (Geo::backgroundWidth, Geo::backgroundHeight, visible, 1);
        juce::Graphics g (image);

        paintScrews (g);
        for (auto& section : Geo::sections)
        {
            const auto bar = section.titleBar.toFloat();
            paintFrame (g, bar.withBottom ((float) section.bottom).withTrimmedTop (bar.getHeight() / 2.0f));
            paintTitleBar (g, fonts, section.titleBar, section.title, layout);
        }
        for (auto& printed : Geo::switches)
            paintSwitchPrint (g, fonts, printed, layout);
        for (auto& printed : Geo::knobs)
            paintKnobPrint (g, fonts, printed, layout);
        paintLogo (g, fonts, layout);
        return image;
    }

    template <size_t numCaptions>
    juce::Image paintButtonTabBackground (const Fonts& fonts, const std::array<Geo::Caption, numCaptions>& captions,
                                          const std::vector<juce::Rectangle<int>>& buttons, juce::Rectangle<int> frame,
                                          int seed, PrintLayout& layout, bool withVersionWindow)
    {
        const juce::Rectangle<float> visible (0.0f, 0.0f, (float) Geo::visibleWidth, (float) Geo::visibleHeight);
        auto image = paintMetal (Geo::backgroundWidth, Geo::backgroundHeight, visible, seed);
        juce::Graphics g (image);

        paintScrews (g);
        paintFrame (g, frame.toFloat());
        for (auto& caption : captions)
            paintTitleBar (g, fonts, caption.bar, caption.text, layout);
        for (auto& button : buttons)
        {
            paintButtonWell (g, button);
            layout.addObstacle ("a button", button.toFloat());
        }

        if (withVersionWindow)
        {
            const auto window = Geo::versionWindow.toFloat();
            g.setColour (Palette::recess.withAlpha (0.9f));
            g.fillRoundedRectangle (window, 3.0f);
            g.setGradientFill (juce::ColourGradient (juce::Colours::white.withAlpha (0.06f), window.getTopLeft(),
                                                     juce::Colours::transparentWhite, window.getBottomLeft(), false));
            g.fillRoundedRectangle (window.reduced (1.0f), 2.5f);
            g.setColour (juce::Colours::white.withAlpha (0.14f));
            g.drawRoundedRectangle (window.expanded (0.5f), 3.5f, 1.0f);
        }

        paintLogo (g, fonts, layout);
        return image;
    }

    //==============================================================================
    // The widget pictures.

    juce::Image transparentImage (int width, int height)
    {
        return juce::Image (juce::Image::ARGB, width, height, true);
    }

    /** A soft round shadow: dark at the given radius, gone at radius + spread. */
    void paintRoundShadow (juce::Graphics& g, juce::Point<float> centre, float radius, float spread, float alpha)
    {
        juce::ColourGradient shadow (juce::Colours::black.withAlpha (alpha), centre, juce::Colours::transparentBlack,
                                     centre.translated (radius + spread, 0.0f), true);
        shadow.addColour (radius / (radius + spread), juce::Colours::black.withAlpha (alpha));
        g.setGradientFill (shadow);
        g.fillEllipse (juce::Rectangle<float> (2.0f * (radius + spread), 2.0f * (radius + spread)).withCentre (centre));
    }

    /** A dark knob with a light pointer, scaled from its 66 x 65 design by scale. */
    void paintKnob (juce::Graphics& g, juce::Point<float> centre, float scale, float angleDegrees)
    {
        const auto circle = [&] (float radius)
        { return juce::Rectangle<float> (2.0f * radius * scale, 2.0f * radius * scale).withCentre (centre); };

        paintRoundShadow (g, centre.translated (0.8f * scale, 2.0f * scale), Geo::knobSkirtRadius * scale, 4.5f * scale,
                          0.6f);

        // the knurled skirt
        g.setGradientFill (juce::ColourGradient (juce::Colour (0xff3c3d41), centre.translated (0.0f, -23.0f * scale),
                                                 juce::Colour (0xff101012), centre.translated (0.0f, 23.0f * scale),
                                                 false));
        g.fillEllipse (circle (Geo::knobSkirtRadius));

        for (int ridge = 0; ridge < 40; ++ridge)
        {
            const float a = angleDegrees + (float) ridge * 9.0f;
            const float facing = std::cos (juce::degreesToRadians (a + 45.0f)); // light from the upper left
            const auto inner = Geo::pointOnRay (centre, a, 19.0f * scale);
            const auto outer = Geo::pointOnRay (centre, a, 22.4f * scale);
            g.setColour (juce::Colours::white.withAlpha (0.05f + 0.13f * std::max (0.0f, facing)));
            g.drawLine ({ inner, outer }, 0.9f * scale);
            const auto shadeInner = Geo::pointOnRay (centre, a + 4.5f, 19.0f * scale);
            const auto shadeOuter = Geo::pointOnRay (centre, a + 4.5f, 22.4f * scale);
            g.setColour (juce::Colours::black.withAlpha (0.35f));
            g.drawLine ({ shadeInner, shadeOuter }, 0.9f * scale);
        }

        g.setGradientFill (juce::ColourGradient (
            juce::Colours::white.withAlpha (0.35f), centre.translated (0.0f, -23.0f * scale),
            juce::Colours::black.withAlpha (0.4f), centre.translated (0.0f, 23.0f * scale), false));
        g.drawEllipse (circle (Geo::knobSkirtRadius - 0.5f), 0.9f * scale);

        // the cap, a shallow dome lit from the upper left
        paintRoundShadow (g, centre.translated (0.0f, 0.8f * scale), Geo::knobCapRadius * scale, 1.8f * scale, 0.55f);
        g.setGradientFill (
            juce::ColourGradient (juce::Colour (0xff505156), centre.translated (-7.0f * scale, -9.0f * scale),
                                  juce::Colour (0xff141416), centre.translated (12.0f * scale, 15.0f * scale), true));
        g.fillEllipse (circle (Geo::knobCapRadius));
        g.setGradientFill (
            juce::ColourGradient (juce::Colours::white.withAlpha (0.3f), centre.translated (0.0f, -18.0f * scale),
                                  juce::Colours::transparentWhite, centre.translated (0.0f, 2.0f * scale), false));
        g.drawEllipse (circle (Geo::knobCapRadius - 0.4f), 0.8f * scale);

        // the pointer: an engraved groove filled with light paint, running out over the skirt
        const auto from = Geo::pointOnRay (centre, angleDegrees, 5.0f * scale);
        const auto to = Geo::pointOnRay (centre, angleDegrees, 21.5f * scale);
        g.setColour (juce::Colours::black.withAlpha (0.55f));
        g.drawLine ({ from, to }, 3.9f * scale);
        juce::Path pointer;
        pointer.startNewSubPath (from);
        pointer.lineTo (to);
        g.setColour (juce::Colour (0xfff4f2ec));
        g.strokePath (
            pointer, juce::PathStrokeType (2.5f * scale, juce::PathStrokeType::mitered, juce::PathStrokeType::rounded));
    }

    juce::Image paintKnobPicture (float angleDegrees)
    {
        auto image = transparentImage (Geo::knobWidth, Geo::knobHeight);
        juce::Graphics g (image);
        paintKnob (g, { Geo::knobCentreX, Geo::knobCentreY }, 1.0f, angleDegrees);
        return image;
    }

    /** A round cap of spun metal on a transparent ground, at one of the three slot positions. */
    juce::Image paintSwitchPicture (Geo::SwitchPosition position)
    {
        auto image = transparentImage (Geo::switchWidth, Geo::switchHeight);
        juce::Graphics g (image);

        const juce::Point<float> centre (Geo::switchCapCentreX, Geo::switchCapCentreY (position));
        const float r = Geo::switchCapRadius;
        const auto disc = juce::Rectangle<float> (2.0f * r, 2.0f * r).withCentre (centre);

        paintRoundShadow (g, centre.translated (0.5f, 1.2f), r, 1.6f, 0.65f);

        g.setGradientFill (juce::ColourGradient (juce::Colour (0xffe6e7e9), centre.translated (-6.0f, -7.0f),
                                                 juce::Colour (0xff6f7176), centre.translated (6.0f, 8.0f), false));
        g.fillEllipse (disc);

        // the spun finish: the turning grooves catch the light in two opposite broad sheens
        for (int step = 0; step < 120; ++step)
        {
            const float from = (float) step * 3.0f;
            const float sheen = std::cos (2.0f * juce::degreesToRadians (from + 1.5f + 40.0f));
            juce::Path wedge;
            wedge.addPieSegment (disc.reduced (0.6f), juce::degreesToRadians (from),
                                 juce::degreesToRadians (from + 3.2f), 0.0f);
            g.setColour (sheen > 0.0f ? juce::Colours::white.withAlpha (0.30f * sheen)
                                      : juce::Colours::black.withAlpha (-0.10f * sheen));
            g.fillPath (wedge);
        }
        for (float ring = 2.0f; ring < r - 1.0f; ring += 1.25f)
        {
            g.setColour (juce::Colours::black.withAlpha (0.035f));
            g.drawEllipse (juce::Rectangle<float> (2.0f * ring, 2.0f * ring).withCentre (centre), 0.5f);
        }

        // the bevelled rim
        g.setGradientFill (juce::ColourGradient (juce::Colours::white.withAlpha (0.8f), centre.translated (-4.0f, -r),
                                                 juce::Colours::black.withAlpha (0.6f), centre.translated (4.0f, r),
                                                 false));
        g.drawEllipse (disc.reduced (0.6f), 1.2f);
        g.setColour (juce::Colours::black.withAlpha (0.55f));
        g.drawEllipse (disc, 0.6f);

        // a shallow dimple in the middle
        const auto dimple = juce::Rectangle<float> (7.0f, 7.0f).withCentre (centre);
        g.setGradientFill (juce::ColourGradient (juce::Colours::black.withAlpha (0.22f), dimple.getTopLeft(),
                                                 juce::Colours::white.withAlpha (0.25f), dimple.getBottomRight(),
                                                 false));
        g.fillEllipse (dimple);
        return image;
    }

    enum class KeyLook
    {
        normal,
        over,
        down
    };

    /** A grey key: raised, raised under the mouse, or pressed in. */
    juce::Image paintButtonPicture (KeyLook look)
    {
        auto image = transparentImage (Geo::buttonWidth, Geo::buttonHeight);
        juce::Graphics g (image);

        const juce::Rectangle<float> key (2.0f, 1.5f, 66.0f, 51.0f);
        const float corner = 5.0f;

        if (look != KeyLook::down)
        {
            for (int i = 3; i > 0; --i)
            {
                g.setColour (juce::Colours::black.withAlpha (0.22f));
                g.fillRoundedRectangle (key.translated (0.0f, 0.5f * (float) i).expanded (0.4f * (float) i),
                                        corner + 0.5f * (float) i);
            }
        }

        const auto top = look == KeyLook::down ? juce::Colour (0xff808286) : juce::Colour (0xffbdbfc2);
        const auto bottom = look == KeyLook::down ? juce::Colour (0xff6c6e72) : juce::Colour (0xff919397);
        g.setGradientFill (juce::ColourGradient (top, key.getTopLeft(), bottom, key.getBottomLeft(), false));
        g.fillRoundedRectangle (key, corner);

        if (look == KeyLook::over)
        {
            juce::ColourGradient dim (juce::Colours::black.withAlpha (0.11f), key.getCentre(),
                                      juce::Colours::transparentBlack, key.getCentre().translated (34.0f, 0.0f), true);
            dim.addColour (0.6, juce::Colours::black.withAlpha (0.07f));
            g.setGradientFill (dim);
            g.fillRoundedRectangle (key.reduced (2.0f), corner);
        }

        if (look == KeyLook::down)
        {
            // pressed in: shaded from above, a thin light line along the top, a dark frame
            g.setGradientFill (juce::ColourGradient (juce::Colours::black.withAlpha (0.3f), key.getTopLeft(),
                                                     juce::Colours::transparentBlack,
                                                     key.getTopLeft().translated (0.0f, 9.0f), false));
            g.fillRoundedRectangle (key, corner);
            g.setColour (juce::Colours::white.withAlpha (0.45f));
            g.drawLine (key.getX() + corner, key.getY() + 2.0f, key.getRight() - corner, key.getY() + 2.0f, 0.8f);
            g.setColour (juce::Colour (0xff26272a));
            g.drawRoundedRectangle (key.reduced (0.5f), corner, 1.4f);
            return image;
        }

        // raised: light on the top and left edges, dark on the bottom and right edges
        juce::Path lit, shade;
        const auto inner = key.reduced (1.0f);
        lit.startNewSubPath (inner.getX(), inner.getBottom() - corner);
        lit.lineTo (inner.getX(), inner.getY() + corner);
        lit.quadraticTo (inner.getTopLeft(), { inner.getX() + corner, inner.getY() });
        lit.lineTo (inner.getRight() - corner, inner.getY());
        shade.startNewSubPath (inner.getRight(), inner.getY() + corner);
        shade.lineTo (inner.getRight(), inner.getBottom() - corner);
        shade.quadraticTo (inner.getBottomRight(), { inner.getRight() - corner, inner.getBottom() });
        shade.lineTo (inner.getX() + corner, inner.getBottom());

        g.setColour (juce::Colours::white.withAlpha (0.75f));
        g.strokePath (lit, juce::PathStrokeType (1.6f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
        g.setColour (juce::Colour (0xff3b3d40));
        g.strokePath (shade, juce::PathStrokeType (1.8f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
        g.setColour (juce::Colour (0xff2a2b2e).withAlpha (0.8f));
        g.drawRoundedRectangle (key, corner, 0.8f);
        return image;
    }

    /** The CONNECT lamp in its bezel, dark or lit. */
    juce::Image paintLampPicture (bool lit)
    {
        auto image = transparentImage (Geo::lampSize, Geo::lampSize);
        juce::Graphics g (image);

        const juce::Point<float> centre (10.5f, 10.5f);
        const auto circle = [&] (float radius)
        { return juce::Rectangle<float> (2.0f * radius, 2.0f * radius).withCentre (centre); };

        g.setGradientFill (juce::ColourGradient (juce::Colour (0xffa4a6aa), centre.translated (-3.0f, -9.0f),
                                                 juce::Colour (0xff26272a), centre.translated (3.0f, 9.0f), false));
        g.fillEllipse (circle (9.8f));
        g.setColour (juce::Colour (0xff0c0c0d));
        g.fillEllipse (circle (7.9f));

        const auto lens = circle (7.0f);
        if (lit)
        {
            juce::ColourGradient glow (juce::Colour (0xffffe0d0), centre.translated (-0.8f, -1.2f),
                                       juce::Colour (0xffb00804), centre.translated (7.0f, 0.0f), true);
            glow.addColour (0.45, juce::Colour (0xffff3420));
            g.setGradientFill (glow);
        }
        else
        {
            g.setGradientFill (juce::ColourGradient (juce::Colour (0xff6e1713), centre.translated (-1.5f, -2.0f),
                                                     juce::Colour (0xff240605), centre.translated (7.0f, 0.0f), true));
        }
        g.fillEllipse (lens);

        g.setGradientFill (juce::ColourGradient (juce::Colours::white.withAlpha (lit ? 0.75f : 0.35f),
                                                 centre.translated (-2.0f, -5.0f), juce::Colours::transparentWhite,
                                                 centre.translated (-2.0f, 0.0f), false));
        g.fillEllipse (juce::Rectangle<float> (8.0f, 5.0f).withCentre (centre.translated (-1.5f, -3.5f)));
        return image;
    }

    /** The application icon: the panel's knob on a tile of the panel's metal. */
    juce::Image paintIcon (const Fonts& fonts)
    {
        const float size = (float) Geo::iconSize;
        auto image = transparentImage (Geo::iconSize, Geo::iconSize);
        juce::Graphics g (image);

        const juce::Rectangle<float> tile (4.0f, 4.0f, size - 8.0f, size - 8.0f);
        juce::Path tileShape;
        tileShape.addRoundedRectangle (tile, 44.0f);

        g.setColour (juce::Colours::black.withAlpha (0.45f));
        g.fillPath (tileShape, juce::AffineTransform::translation (0.0f, 2.0f));
        {
            juce::Graphics::ScopedSaveState state (g);
            g.reduceClipRegion (tileShape);
            g.drawImageAt (paintMetal (Geo::iconSize, Geo::iconSize, tile, 7, 1.25f), 0, 0);
        }
        g.setColour (juce::Colours::white.withAlpha (0.16f));
        g.strokePath (tileShape, juce::PathStrokeType (2.0f));

        const juce::Point<float> centre (size / 2.0f, 112.0f);
        const float scale = 2.9f;
        for (int i = 0; i < 12; ++i)
        {
            const float angle = Geo::knobAngleDegrees (i);
            g.setColour (Palette::print);
            g.drawLine ({ Geo::pointOnRay (centre, angle, 78.0f), Geo::pointOnRay (centre, angle, 90.0f) }, 4.0f);
        }
        paintKnob (g, centre, scale, Geo::knobAngleDegrees (8));

        printLine (g, "TARNOVELLE", fonts.logo (24.0f).withExtraKerningFactor (0.08f), { size / 2.0f, 222.0f },
                   Anchor::centre, Palette::print);
        return image;
    }

    //==============================================================================
    bool writePicture (const juce::Image& image, const juce::File& file)
    {
        file.deleteFile();
        juce::FileOutputStream stream (file);
        if (!stream.openedOk())
        {
            std::cerr << "cannot write " << file.getFullPathName() << "\n";
            return false;
        }

        if (file.hasFileExtension ("jpg"))
        {
            juce::JPEGImageFormat jpeg; // JUCE writes baseline JPEG
            jpeg.setQuality (0.92f);
            return jpeg.writeImageToStream (image, stream);
        }

        juce::PNGImageFormat png; // an ARGB image is written as 8-bit RGBA
        return png.writeImageToStream (image, stream);
    }

    //==============================================================================
    // Previews: the tabs as the program shows them, pictures laid over the backgrounds at the
    // widget bounds. They are written elsewhere than resources/, which embeds every picture.

    juce::Image loadPicture (const juce::File& resources, const juce::String& name)
    {
        return juce::ImageFileFormat::loadFrom (resources.getChildFile (name));
    }

    juce::String switchPictureName (Geo::SwitchPosition position)
    {
        return position == Geo::SwitchPosition::top      ? "switchTop.png"
               : position == Geo::SwitchPosition::middle ? "switchMiddle.png"
                                                         : "switchBottom.png";
    }

    juce::String knobPictureName (int picture)
    {
        return picture == Geo::allPicture ? juce::String ("knobAll.png") : "knob" + juce::String (picture) + ".png";
    }

    /** The settings tab with each switch at the label of the given index (wrapping) and each
        knob at the scale label of the given index. */
    juce::Image previewSettings (const juce::File& resources, int choice)
    {
        auto image = loadPicture (resources, "parametersBackground.jpg").convertedToFormat (juce::Image::ARGB);
        juce::Graphics g (image);

        for (auto& printed : Geo::switches)
        {
            const auto& label = printed.labels[(size_t) choice % printed.labels.size()];
            g.drawImageAt (loadPicture (resources, switchPictureName (label.position)), printed.area.getX(),
                           printed.area.getY());
        }
        for (auto& printed : Geo::knobs)
        {
            const auto& label = printed.labels[(size_t) (choice * 5) % printed.labels.size()];
            g.drawImageAt (loadPicture (resources, knobPictureName (label.picture)), printed.area.getX(),
                           printed.area.getY());
        }
        return image.getClippedImage ({ 0, 0, 1000, 420 });
    }

    juce::Image previewButtons (const juce::File& resources, const char* background,
                                const std::vector<juce::Rectangle<int>>& buttons)
    {
        auto image = loadPicture (resources, background).convertedToFormat (juce::Image::ARGB);
        juce::Graphics g (image);
        const char* looks[] = { "buttonNormal.png", "buttonOver.png", "buttonDown.png" };
        for (size_t i = 0; i < buttons.size(); ++i)
            g.drawImageAt (loadPicture (resources, looks[i % 3]), buttons[i].getX(), buttons[i].getY());
        return image.getClippedImage ({ 0, 0, 1000, 420 });
    }

    int writePreviews (const juce::File& resources, const juce::File& folder)
    {
        if (!folder.createDirectory())
            return 2;

        bool written = true;
        for (int choice = 0; choice < 3; ++choice)
            written = writePicture (previewSettings (resources, choice),
                                    folder.getChildFile ("settings" + juce::String (choice) + ".png"))
                      && written;

        written = writePicture (previewButtons (resources, "sequencesBackground.jpg",
                                                { Geo::seqFactoryButton, Geo::seqLoadButton, Geo::seqSaveButton }),
                                folder.getChildFile ("sequences.png"))
                  && written;
        written = writePicture (
                      previewButtons (resources, "firmwareBackground.jpg", { Geo::webLinkButton, Geo::updaterButton }),
                      folder.getChildFile ("firmware.png"))
                  && written;
        return written ? 0 : 2;
    }

    int run (const juce::File& resources)
    {
        const Fonts fonts (juce::File ("/usr/share/fonts/truetype/dejavu"));
        if (!fonts.isComplete())
            return 2;

        if (!resources.createDirectory())
        {
            std::cerr << "cannot create " << resources.getFullPathName() << "\n";
            return 2;
        }

        bool written = true;
        bool layoutIsClean = true;
        auto write = [&] (const juce::Image& image, const char* name)
        { written = writePicture (image, resources.getChildFile (name)) && written; };

        {
            PrintLayout layout;
            write (paintParametersBackground (fonts, layout), "parametersBackground.jpg");
            layoutIsClean = layout.check ("parametersBackground") && layoutIsClean;
        }
        {
            PrintLayout layout;
            write (paintButtonTabBackground (fonts, Geo::sequencesCaptions,
                                             { Geo::seqFactoryButton, Geo::seqLoadButton, Geo::seqSaveButton,
                                               Geo::seqEditButton },
                                             Geo::sequencesFrame, 2, layout, false),
                   "sequencesBackground.jpg");
            layoutIsClean = layout.check ("sequencesBackground") && layoutIsClean;
        }
        {
            PrintLayout layout;
            write (paintButtonTabBackground (fonts, Geo::firmwareCaptions, { Geo::webLinkButton, Geo::updaterButton },
                                             Geo::firmwareFrame, 3, layout, true),
                   "firmwareBackground.jpg");
            layoutIsClean = layout.check ("firmwareBackground") && layoutIsClean;
        }

        write (paintSwitchPicture (Geo::SwitchPosition::top), "switchTop.png");
        write (paintSwitchPicture (Geo::SwitchPosition::middle), "switchMiddle.png");
        write (paintSwitchPicture (Geo::SwitchPosition::bottom), "switchBottom.png");

        for (int i = 0; i < 16; ++i)
            write (paintKnobPicture (Geo::knobAngleDegrees (i)), ("knob" + juce::String (i) + ".png").toRawUTF8());
        write (paintKnobPicture (Geo::knobAngleDegrees (Geo::allPicture)), "knobAll.png");

        write (paintButtonPicture (KeyLook::normal), "buttonNormal.png");
        write (paintButtonPicture (KeyLook::over), "buttonOver.png");
        write (paintButtonPicture (KeyLook::down), "buttonDown.png");

        write (paintLampPicture (false), "lampOff.png");
        write (paintLampPicture (true), "lampOn.png");

        write (paintIcon (fonts), "icon.png");

        if (!written)
            return 2;
        return layoutIsClean ? 0 : 1;
    }
} // namespace
} // namespace tarnovelle

int main (int argc, char* argv[])
{
    const auto here = juce::File::getCurrentWorkingDirectory();

    if (argc == 4 && juce::String (argv[1]) == "--preview")
        return tarnovelle::writePreviews (here.getChildFile (argv[2]), here.getChildFile (argv[3]));

    if (argc != 2)
    {
        std::cerr << "usage: tarnovelle_artwork <resources folder>\n"
                     "       tarnovelle_artwork --preview <resources folder> <preview folder>\n";
        return 2;
    }

    return tarnovelle::run (here.getChildFile (argv[1]));
}
