// The panel print: the brushed metal, the screws, the logo, the frames and every text and
// scale printed on the backgrounds.

#include "Artwork.h"

#include <cmath>

namespace tarnovelle::artwork
{

namespace
{
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
} // namespace

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

namespace
{
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
} // namespace

/** Brushed, matte dark metal with the soft fall-off of light a photograph shows. */
juce::Image paintMetal (int width, int height, juce::Rectangle<float> lit, int seed, float brightness)
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
            pixels.setPixelColour (x, y,
                                   juce::Colour (level (value * 0.97f), level (value * 0.99f), level (value * 1.04f)));
        }
    }

    return image;
}

namespace
{
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
        if (! area.reduced (2.0f).contains (box))
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
        const auto at = [&box] (float x, float y) {
            return juce::Point<float> (box.getX() + x * box.getWidth(), box.getBottom() - y * box.getHeight());
        };

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

    /** The metal of a whole background at `scale` pixels per point, lit in its visible part. The
        grain is the metal's own, one grain a pixel at any scale, as on a photograph. */
    juce::Image paintScaledMetal (int seed, int scale)
    {
        const auto visible = juce::Rectangle<float> ((float) Geo::visibleWidth, (float) Geo::visibleHeight);
        return paintMetal (Geo::backgroundWidth * scale, Geo::backgroundHeight * scale, visible * (float) scale, seed);
    }
} // namespace

juce::Image paintParametersBackground (const Fonts& fonts, PrintLayout& layout, int scale)
{
    auto image = paintScaledMetal (1, scale);
    juce::Graphics g (image);
    g.addTransform (juce::AffineTransform::scale ((float) scale));

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

juce::Image paintButtonTabBackground (const Fonts& fonts, const ButtonTab& tab, PrintLayout& layout, int scale)
{
    auto image = paintScaledMetal (tab.seed, scale);
    juce::Graphics g (image);
    g.addTransform (juce::AffineTransform::scale ((float) scale));

    paintScrews (g);
    paintFrame (g, tab.frame.toFloat());
    for (auto& caption : tab.captions)
        paintTitleBar (g, fonts, caption.bar, caption.text, layout);
    for (auto& button : tab.buttons)
    {
        paintButtonWell (g, button);
        layout.addObstacle ("a button", button.toFloat());
    }

    if (tab.withVersionWindow)
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

} // namespace tarnovelle::artwork
