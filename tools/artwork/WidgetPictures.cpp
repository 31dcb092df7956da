// The widget pictures: knobs, switches, keys, the lamp, and the program's icon.

#include "Artwork.h"

#include <cmath>

namespace tarnovelle::artwork
{

namespace
{
    //==============================================================================
    // The widget pictures.

    juce::Image transparentImage (int width, int height)
    {
        return juce::Image (juce::Image::ARGB, width, height, true);
    }

    /** A picture of that size in points, with room for `scale` pixels per point; a Graphics
        on it is to be scaled with scaleToPoints. */
    juce::Image transparentImage (int width, int height, int scale)
    {
        return transparentImage (width * scale, height * scale);
    }

    void scaleToPoints (juce::Graphics& g, int scale) { g.addTransform (juce::AffineTransform::scale ((float) scale)); }

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
        const auto circle = [&] (float radius) {
            return juce::Rectangle<float> (2.0f * radius * scale, 2.0f * radius * scale).withCentre (centre);
        };

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
} // namespace

juce::Image paintKnobPicture (float angleDegrees, int scale)
{
    auto image = transparentImage (Geo::knobWidth, Geo::knobHeight, scale);
    juce::Graphics g (image);
    scaleToPoints (g, scale);
    paintKnob (g, { Geo::knobCentreX, Geo::knobCentreY }, 1.0f, angleDegrees);
    return image;
}

/** A round cap of spun metal on a transparent ground, at one of the three slot positions. */
juce::Image paintSwitchPicture (Geo::SwitchPosition position, int scale)
{
    auto image = transparentImage (Geo::switchWidth, Geo::switchHeight, scale);
    juce::Graphics g (image);
    scaleToPoints (g, scale);

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
        wedge.addPieSegment (disc.reduced (0.6f), juce::degreesToRadians (from), juce::degreesToRadians (from + 3.2f),
                             0.0f);
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
                                             juce::Colours::white.withAlpha (0.25f), dimple.getBottomRight(), false));
    g.fillEllipse (dimple);
    return image;
}

/** A grey key: raised, raised under the mouse, or pressed in. */
juce::Image paintButtonPicture (KeyLook look, int scale)
{
    auto image = transparentImage (Geo::buttonWidth, Geo::buttonHeight, scale);
    juce::Graphics g (image);
    scaleToPoints (g, scale);

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
juce::Image paintLampPicture (bool lit, int scale)
{
    auto image = transparentImage (Geo::lampSize, Geo::lampSize, scale);
    juce::Graphics g (image);
    scaleToPoints (g, scale);

    const juce::Point<float> centre (10.5f, 10.5f);
    const auto circle = [&] (float radius) {
        return juce::Rectangle<float> (2.0f * radius, 2.0f * radius).withCentre (centre);
    };

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

} // namespace tarnovelle::artwork
