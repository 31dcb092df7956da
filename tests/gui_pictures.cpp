// The embedded pictures: their formats and sizes, and how they line up with the printed panel.

#include "app/GUIEditorWindow.h"
#include "settings/GUIParametersTab.h"
#include "settings/PanelGeometry.h"
#include "settings/Pictures.h"

#include "BinaryData.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>

namespace tarnovelle
{
namespace
{
    namespace Geo = PanelGeometry;

    //==============================================================================
    // The bytes of the embedded files.

    struct EmbeddedPicture
    {
        const char* name;
        const char* data;
        int size;
        int width;
        int height;
    };

    juce::Array<EmbeddedPicture> embeddedPngs()
    {
        juce::Array<EmbeddedPicture> pictures;
        for (int i = 0; i < BinaryData::namedResourceListSize; ++i)
        {
            const juce::String name (BinaryData::originalFilenames[i]);
            if (!name.endsWith (".png") || name == "icon.png")
                continue;

            int size = 0;
            const char* data = BinaryData::getNamedResource (BinaryData::namedResourceList[i], size);
            const auto width = name.startsWith ("switch")   ? Geo::switchWidth
                               : name.startsWith ("knob")   ? Geo::knobWidth
                               : name.startsWith ("button") ? Geo::buttonWidth
                                                            : Geo::lampSize;
            const auto height = name.startsWith ("switch")   ? Geo::switchHeight
                                : name.startsWith ("knob")   ? Geo::knobHeight
                                : name.startsWith ("button") ? Geo::buttonHeight
                                                             : Geo::lampSize;
            pictures.add ({ BinaryData::originalFilenames[i], data, size, width, height });
        }
        return pictures;
    }

    juce::uint32 bigEndian32 (const juce::uint8* bytes)
    {
        return ((juce::uint32) bytes[0] << 24) | ((juce::uint32) bytes[1] << 16) | ((juce::uint32) bytes[2] << 8)
               | bytes[3];
    }

    /** The start-of-frame markers (C0 to CF, without the DHT, JPG and DAC markers) of a JPEG. */
    juce::Array<int> jpegFrameMarkers (const char* data, int size)
    {
        juce::Array<int> markers;
        const auto* bytes = reinterpret_cast<const juce::uint8*> (data);
        int at = 2;
        while (at + 4 <= size && bytes[at] == 0xff)
        {
            const int marker = bytes[at + 1];
            if (marker == 0xda) // start of scan: the frame header lies before it
                break;
            if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc)
                markers.add (marker);
            at += 2 + ((bytes[at + 2] << 8) | bytes[at + 3]);
        }
        return markers;
    }

    TEST (EmbeddedPictures, widgetPicturesArePngWithEightBitRgba)
    {
        const auto pictures = embeddedPngs();
        ASSERT_EQ (pictures.size(), 3 + 17 + 3 + 2);

        for (auto& picture : pictures)
        {
            SCOPED_TRACE (picture.name);
            ASSERT_GT (picture.size, 33);
            const auto* bytes = reinterpret_cast<const juce::uint8*> (picture.data);
            const juce::uint8 signature[] = { 0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a };
            EXPECT_EQ (memcmp (bytes, signature, sizeof (signature)), 0);
            EXPECT_EQ (memcmp (bytes + 12, "IHDR", 4), 0);
            EXPECT_EQ ((int) bigEndian32 (bytes + 16), picture.width);
            EXPECT_EQ ((int) bigEndian32 (bytes + 20), picture.height);
            EXPECT_EQ (bytes[24], 8) << "bit depth";
            EXPECT_EQ (bytes[25], 6) << "colour type RGBA";
        }
    }

    TEST (EmbeddedPictures, backgroundsAreBaselineJpegs)
    {
        const std::pair<const char*, int> backgrounds[] = {
            { BinaryData::parametersBackground_jpg, BinaryData::parametersBackground_jpgSize },
            { BinaryData::firmwareBackground_jpg, BinaryData::firmwareBackground_jpgSize },
            { BinaryData::sequencesBackground_jpg, BinaryData::sequencesBackground_jpgSize },
        };

        for (auto [data, size] : backgrounds)
        {
            const auto* bytes = reinterpret_cast<const juce::uint8*> (data);
            ASSERT_GT (size, 4);
            EXPECT_EQ (bytes[0], 0xff);
            EXPECT_EQ (bytes[1], 0xd8);
            EXPECT_EQ (jpegFrameMarkers (data, size), juce::Array<int> (0xc0)) << "one baseline frame, nothing else";
        }
    }

    //==============================================================================
    // The decoded pictures.

    void expectSize (const juce::Image& image, int width, int height)
    {
        ASSERT_TRUE (image.isValid());
        EXPECT_EQ (image.getWidth(), width);
        EXPECT_EQ (image.getHeight(), height);
    }

    void expectTransparentCorners (const juce::Image& image)
    {
        ASSERT_TRUE (image.hasAlphaChannel());
        const int right = image.getWidth() - 1;
        const int bottom = image.getHeight() - 1;
        for (auto [x, y] : { std::pair<int, int>{ 0, 0 }, { right, 0 }, { 0, bottom }, { right, bottom } })
            EXPECT_EQ (image.getPixelAt (x, y).getAlpha(), 0) << "corner " << x << "," << y;
    }

    void expectOpaqueAt (const juce::Image& image, float x, float y)
    {
        EXPECT_EQ (image.getPixelAt (juce::roundToInt (x), juce::roundToInt (y)).getAlpha(), 255) << x << "," << y;
    }

    TEST (DecodedPictures, backgroundsAreOpaqueAndFullSize)
    {
        for (auto& background :
             { Pictures::parametersBackground(), Pictures::firmwareBackground(), Pictures::sequencesBackground() })
        {
            expectSize (background, Geo::backgroundWidth, Geo::backgroundHeight);
            EXPECT_FALSE (background.hasAlphaChannel());
        }
    }

    TEST (DecodedPictures, switchCapsSitAtTheirSlotPositionsOnTransparentGround)
    {
        const std::pair<juce::Image, Geo::SwitchPosition> caps[] = {
            { Pictures::switchTop(), Geo::SwitchPosition::top },
            { Pictures::switchMiddle(), Geo::SwitchPosition::middle },
            { Pictures::switchBottom(), Geo::SwitchPosition::bottom },
        };

        for (auto& [cap, position] : caps)
        {
            expectSize (cap, Geo::switchWidth, Geo::switchHeight);
            expectTransparentCorners (cap);
            const auto y = Geo::switchCapCentreY (position);
            expectOpaqueAt (cap, Geo::switchCapCentreX, y);

            // the cap covers its own position and leaves the other positions open
            for (auto other : { Geo::SwitchPosition::top, Geo::SwitchPosition::middle, Geo::SwitchPosition::bottom })
            {
                const auto otherY = juce::roundToInt (Geo::switchCapCentreY (other));
                if (other != position)
                {
                    EXPECT_EQ (cap.getPixelAt ((int) Geo::switchCapCentreX, otherY).getAlpha(), 0);
                }
            }
        }
    }

    TEST (DecodedPictures, knobsButtonsAndLampsHaveTransparentSurroundings)
    {
        for (int i = 0; i < Pictures::knobCount; ++i)
        {
            SCOPED_TRACE (i);
            expectSize (Pictures::knob (i), Geo::knobWidth, Geo::knobHeight);
            expectTransparentCorners (Pictures::knob (i));
            expectOpaqueAt (Pictures::knob (i), Geo::knobCentreX, Geo::knobCentreY);
        }
        expectSize (Pictures::knobAll(), Geo::knobWidth, Geo::knobHeight);
        expectTransparentCorners (Pictures::knobAll());

        for (auto& button : { Pictures::buttonNormal(), Pictures::buttonOver(), Pictures::buttonDown() })
        {
            expectSize (button, Geo::buttonWidth, Geo::buttonHeight);
            expectTransparentCorners (button);
            expectOpaqueAt (button, Geo::buttonWidth / 2.0f, Geo::buttonHeight / 2.0f);
        }

        for (auto& lamp : { Pictures::lampOff(), Pictures::lampOn() })
        {
            expectSize (lamp, Geo::lampSize, Geo::lampSize);
            expectTransparentCorners (lamp);
            expectOpaqueAt (lamp, Geo::lampSize / 2.0f, Geo::lampSize / 2.0f);
        }

        const auto middle = [] (const juce::Image& image) { return image.getPixelAt (35, 27).getBrightness(); };
        EXPECT_LT (middle (Pictures::buttonOver()), middle (Pictures::buttonNormal()));
        EXPECT_LT (middle (Pictures::buttonDown()), middle (Pictures::buttonOver()));
        EXPECT_GT (Pictures::lampOn().getPixelAt (10, 10).getBrightness(),
                   Pictures::lampOff().getPixelAt (10, 10).getBrightness() + 0.3f);
    }

    TEST (DecodedPictures, comeFromTheImageCache)
    {
        EXPECT_TRUE (Pictures::knob (3) == Pictures::knob (3));
        EXPECT_TRUE (Pictures::parametersBackground() == Pictures::parametersBackground());
        EXPECT_FALSE (Pictures::knob (3) == Pictures::knob (4));
        EXPECT_TRUE (Pictures::knob (99) == Pictures::knob (15)) << "indices beyond the scale are clamped";
    }

    //==============================================================================
    // Finding the pointer, the caps and the print in rendered pixels.

    float brightness (juce::Colour colour)
    {
        return (colour.getFloatRed() + colour.getFloatGreen() + colour.getFloatBlue()) / 3.0f;
    }

    /** Clockwise from 12 o'clock, 0 to 360. */
    float angleFrom (juce::Point<float> centre, juce::Point<float> point)
    {
        auto angle = juce::radiansToDegrees (std::atan2 (point.x - centre.x, centre.y - point.y));
        return angle < 0.0f ? angle + 360.0f : angle;
    }

    float angleBetween (float a, float b) { return std::abs (std::remainder (a - b, 360.0f)); }

    /** The weighted centre of the pixels that pass the test, or nothing when none does. */
    std::optional<juce::Point<float>> centroid (const juce::Image& image, juce::Rectangle<int> area,
                                                const std::function<float (int x, int y, juce::Colour)>& weightOf)
    {
        double sx = 0.0, sy = 0.0, sw = 0.0;
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (const auto w = weightOf (x, y, image.getPixelAt (x, y)); w > 0.0f)
                {
                    sx += w * (x + 0.5);
                    sy += w * (y + 0.5);
                    sw += w;
                }

        if (sw <= 0.0)
            return std::nullopt;
        return juce::Point<float> ((float) (sx / sw), (float) (sy / sw));
    }

    /** The light paint of a knob pointer, on the knob's own disc where no print shows through. */
    std::optional<float> pointerAngle (const juce::Image& image, juce::Point<float> centre)
    {
        const auto area = juce::Rectangle<float> (2.0f * Geo::knobSkirtRadius, 2.0f * Geo::knobSkirtRadius)
                              .withCentre (centre)
                              .getSmallestIntegerContainer();
        const auto tip = centroid (image, area,
                                   [centre] (int x, int y, juce::Colour c)
                                   {
                                       const auto r = centre.getDistanceFrom ({ x + 0.5f, y + 0.5f });
                                       const auto b = brightness (c);
                                       return r > 6.0f && r < Geo::knobSkirtRadius - 1.0f && b > 0.7f ? b - 0.7f : 0.0f;
                                   });
        if (!tip)
            return std::nullopt;
        return angleFrom (centre, *tip);
    }

    /** The light print within a disc around a point of the background. */
    std::optional<juce::Point<float>> printNear (const juce::Image& image, juce::Point<float> at, float radius)
    {
        const auto area =
            juce::Rectangle<float> (2.0f * radius, 2.0f * radius).withCentre (at).getSmallestIntegerContainer();
        return centroid (image, area,
                         [at, radius] (int x, int y, juce::Colour c)
                         {
                             const auto b = brightness (c);
                             return at.getDistanceFrom ({ x + 0.5f, y + 0.5f }) < radius && b > 0.4f ? b - 0.4f : 0.0f;
                         });
    }

    /** The printed tick within a few degrees of an angle. */
    std::optional<float> tickAngle (const juce::Image& background, juce::Point<float> centre, float around)
    {
        const auto radius = (Geo::tickInnerRadius + Geo::tickOuterRadius) / 2.0f;
        const auto area = juce::Rectangle<float> (2.0f * (radius + 3.0f), 2.0f * (radius + 3.0f))
                              .withCentre (centre)
                              .getSmallestIntegerContainer();
        const auto tick = centroid (background, area,
                                    [=] (int x, int y, juce::Colour c)
                                    {
                                        const juce::Point<float> p (x + 0.5f, y + 0.5f);
                                        const auto b = brightness (c);
                                        return std::abs (centre.getDistanceFrom (p) - radius) < 1.5f
                                                       && angleBetween (angleFrom (centre, p), around) < 8.0f
                                                       && b > 0.4f
                                                   ? b - 0.4f
                                                   : 0.0f;
                                    });
        if (!tick)
            return std::nullopt;
        return angleFrom (centre, *tick);
    }

    TEST (KnobPictures, pointAtTheAngleOfTheirScalePosition)
    {
        const juce::Point<float> centre (Geo::knobCentreX, Geo::knobCentreY);
        for (int i = 0; i < Pictures::knobCount; ++i)
        {
            const auto angle = pointerAngle (Pictures::knob (i), centre);
            ASSERT_TRUE (angle.has_value()) << "knob" << i;
            EXPECT_LT (angleBetween (*angle, Geo::knobAngleDegrees (i)), 2.0f)
                << "knob" << i << " points at " << *angle;
        }

        const auto all = pointerAngle (Pictures::knobAll(), centre);
        ASSERT_TRUE (all.has_value());
        EXPECT_LT (angleBetween (*all, Geo::allKnobAngle), 2.0f) << "knobAll points at " << *all;
    }

    //==============================================================================
    // The settings tab drawn offscreen: each pointer on its printed label, each cap in its slot.

    struct KnobCase
    {
        const char* name; ///< the printed name of the scale
        std::function<void (GUIParametersTab&, int value)> show;
        std::vector<std::pair<int, juce::String>> valuesAndLabels; ///< each value and the label it must point at
    };

    std::vector<KnobCase> knobCases()
    {
        std::vector<std::pair<int, juce::String>> transmit, receive, bend;
        for (int v = 0; v < 16; ++v)
        {
            transmit.push_back ({ v, juce::String (v + 1) });
            receive.push_back ({ v, juce::String (v + 1) });
        }
        receive.push_back ({ 16, "All" });
        for (int v = 1; v <= 12; ++v)
            bend.push_back ({ v, juce::String (v) });

        return {
            { "TRANSMIT CHANNEL", [] (GUIParametersTab& t, int v) { t.showMidiOutChannel (v); }, transmit },
            { "RECEIVE CHANNEL", [] (GUIParametersTab& t, int v) { t.showMidiInChannel (v); }, receive },
            { "STEP",
              [] (GUIParametersTab& t, int v) { t.showStepSize (v); },
              { { 4, "1/4" }, { 8, "1/8" }, { 16, "1/16" }, { 32, "1/32" } } },
            { "BEND RANGE", [] (GUIParametersTab& t, int v) { t.showBendRange (v); }, bend },
            { "SYNC",
              [] (GUIParametersTab& t, int v) { t.showClockSync (v); },
              { { 0, "Auto" }, { 1, "Int" }, { 2, "Ext" } } },
        };
    }

    const Geo::PrintedKnob& printedKnob (const juce::String& name)
    {
        for (auto& knob : Geo::knobs)
            if (name == knob.name)
                return knob;
        throw std::invalid_argument (name.toStdString());
    }

    const Geo::ScaleLabel* scaleLabel (const Geo::PrintedKnob& knob, const juce::String& text)
    {
        for (auto& label : knob.labels)
            if (Geo::scaleText (label) == text)
                return &label;
        return nullptr;
    }

    juce::Image snapshot (GUIParametersTab& tab)
    {
        return tab.createComponentSnapshot (tab.getLocalBounds(), true, 1.0f);
    }

    TEST (SettingsTabRendering, everyKnobPointsAtItsPrintedLabelForEveryValue)
    {
        GUIParametersTab tab;
        const auto background = Pictures::parametersBackground();

        for (auto& knobCase : knobCases())
        {
            const auto& knob = printedKnob (knobCase.name);
            const auto centre = knob.centre();

            for (auto& [value, text] : knobCase.valuesAndLabels)
            {
                SCOPED_TRACE (juce::String (knobCase.name) + " " + juce::String (value) + " (" + text + ")");
                const auto* label = scaleLabel (knob, text);
                ASSERT_NE (label, nullptr) << "no such label in the geometry";

                // where the background prints the label and its tick
                const auto labelCentre = knob.labelCentre (*label);
                const auto print = printNear (background, labelCentre, 7.0f);
                ASSERT_TRUE (print.has_value()) << "nothing printed at the label's place";
                EXPECT_LT (print->getDistanceFrom (labelCentre), 3.0f);
                const auto labelAngle = angleFrom (centre, *print);
                const auto tick = tickAngle (background, centre, Geo::knobAngleDegrees (label->picture));
                ASSERT_TRUE (tick.has_value()) << "no tick printed";

                // where the knob on the tab points
                knobCase.show (tab, value);
                const auto pointer = pointerAngle (snapshot (tab), centre);
                ASSERT_TRUE (pointer.has_value()) << "no pointer found";

                EXPECT_LT (angleBetween (*pointer, *tick), 2.5f) << "pointer " << *pointer << ", tick " << *tick;
                EXPECT_LT (angleBetween (*pointer, labelAngle), 6.0f)
                    << "pointer " << *pointer << ", label " << labelAngle;
            }
        }
    }

    struct SwitchCase
    {
        const char* name; ///< the printed name, as the geometry table has it
        std::function<void (GUIParametersTab&, int value)> show;
        std::vector<std::pair<int, Geo::SwitchPosition>> valuesAndPositions;
    };

    std::vector<SwitchCase> switchCases()
    {
        using P = Geo::SwitchPosition;
        return {
            { "Note Priority",
              [] (GUIParametersTab& t, int v) { t.showKeyboardMode (v); },
              { { 2, P::top }, { 0, P::middle }, { 1, P::bottom } } },
            { "Velocity\nResponse",
              [] (GUIParametersTab& t, int v) { t.showVelocity (v); },
              { { 0, P::top }, { 1, P::middle }, { 2, P::bottom } } },
            { "Play",
              [] (GUIParametersTab& t, int v) { t.showArpHold (v == 1); },
              { { 1, P::top }, { 0, P::bottom } } },
            { "Seq Retrig",
              [] (GUIParametersTab& t, int v) { t.showInputGain (v); },
              { { 0, P::top }, { 1, P::middle }, { 2, P::bottom } } },
            { "Next Seq",
              [] (GUIParametersTab& t, int v) { t.showAftertouch (v); },
              { { 0, P::top }, { 1, P::middle }, { 2, P::bottom } } },
            { "Step On",
              [] (GUIParametersTab& t, int v) { t.showTapAverage (v); },
              { { 0, P::top }, { 1, P::bottom } } },
            { "LFO Key\nRetrigger",
              [] (GUIParametersTab& t, int v) { t.showLfoRetrigger (v == 1); },
              { { 1, P::top }, { 0, P::bottom } } },
            { "Envelope\nLegato Mode",
              [] (GUIParametersTab& t, int v) { t.showKeyboardLegato (v); },
              { { 1, P::top }, { 0, P::bottom } } },
            { "Gate",
              [] (GUIParametersTab& t, int v) { t.showGateLength (v); },
              { { 1, P::top }, { 2, P::middle }, { 3, P::bottom } } },
        };
    }

    const Geo::PrintedSwitch& printedSwitch (const juce::String& name)
    {
        for (auto& printed : Geo::switches)
            if (name == printed.name)
                return printed;
        throw std::invalid_argument (name.toStdString());
    }

    TEST (SettingsTabRendering, everySwitchCapSitsInItsSlotBesideItsPrintedLabel)
    {
        GUIParametersTab tab;
        const auto background = Pictures::parametersBackground();

        for (auto& switchCase : switchCases())
        {
            const auto& printed = printedSwitch (switchCase.name);
            const auto area = printed.area;

            for (auto& [value, position] : switchCase.valuesAndPositions)
            {
                SCOPED_TRACE (juce::String (switchCase.name) + " " + juce::String (value));
                const auto anchor = printed.labelAnchor (position);

                // the background prints a label at this position, level with the cap position
                const juce::Rectangle<int> labelArea (area.getRight() + 3, juce::roundToInt (anchor.y) - 7, 70, 14);
                const auto print =
                    centroid (background, labelArea,
                              [] (int, int, juce::Colour c) { return brightness (c) > 0.4f ? 1.0f : 0.0f; });
                ASSERT_TRUE (print.has_value()) << "no position label printed";
                EXPECT_NEAR (print->y, anchor.y, 3.0f);

                // the cap shows up where the snapshot differs from the bare background
                switchCase.show (tab, value);
                const auto image = snapshot (tab);
                const auto cap =
                    centroid (image, area,
                              [&] (int x, int y, juce::Colour c)
                              {
                                  const auto bare = background.getPixelAt (x, y);
                                  return std::abs (brightness (c) - brightness (bare)) > 0.25f ? 1.0f : 0.0f;
                              });
                ASSERT_TRUE (cap.has_value()) << "no cap drawn";
                EXPECT_NEAR (cap->x, (float) area.getX() + Geo::switchCapCentreX, 1.5f);
                EXPECT_NEAR (cap->y, (float) area.getY() + Geo::switchCapCentreY (position), 2.0f);
            }
        }
    }

    //==============================================================================
    // The whole editor window, as the user sees it. Each tab's snapshot is kept in the build
    // folder (snapshots/*.png) for people to look at.

    TEST (EditorWindowSnapshots, everyTabShowsItsPanelUnscaledWithItsButtonsInTheirWells)
    {
        GUIEditorWindow window;
        window.setConnected (true);
        window.showFirmwareVersion (1, 0, 3, 2);
        window.showBendRange (7);
        window.showMidiInChannel (16);
        window.showMidiOutChannel (9);
        window.showStepSize (16);
        window.showKeyboardMode (2);

        juce::TabbedComponent* tabs = nullptr;
        for (auto* child : window.getChildren())
            if (auto* found = dynamic_cast<juce::TabbedComponent*> (child))
                tabs = found;
        ASSERT_NE (tabs, nullptr);

        const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile ("snapshots");
        ASSERT_TRUE (folder.createDirectory());

        struct TabCase
        {
            const char* file;
            juce::Image background;
            std::vector<juce::Rectangle<int>> buttons;
            std::vector<juce::Point<int>> bareSpots; ///< places where only the background shows
        };
        const TabCase cases[] = {
            { "configuration.png", Pictures::parametersBackground(), {}, { { 120, 70 }, { 800, 370 }, { 420, 30 } } },
            { "firmware.png",
              Pictures::firmwareBackground(),
              { Geo::webLinkButton, Geo::updaterButton },
              { { 230, 215 }, { 800, 370 }, { 600, 100 } } },
            { "sequences.png",
              Pictures::sequencesBackground(),
              { Geo::seqFactoryButton, Geo::seqLoadButton, Geo::seqSaveButton },
              { { 290, 215 }, { 800, 370 }, { 600, 100 } } },
        };

        for (int index = 0; index < 3; ++index)
        {
            const auto& tabCase = cases[index];
            SCOPED_TRACE (tabCase.file);
            tabs->setCurrentTabIndex (index);
            auto* content = tabs->getCurrentContentComponent();
            ASSERT_NE (content, nullptr);
            const auto origin = content->getBounds().getPosition() + tabs->getPosition();

            const auto image = window.createComponentSnapshot (window.getLocalBounds(), true, 1.0f);
            auto file = folder.getChildFile (tabCase.file);
            file.deleteFile();
            juce::FileOutputStream stream (file);
            ASSERT_TRUE (stream.openedOk());
            EXPECT_TRUE (juce::PNGImageFormat().writeImageToStream (image, stream));

            for (auto spot : tabCase.bareSpots)
            {
                const auto shown = image.getPixelAt (origin.x + spot.x, origin.y + spot.y);
                EXPECT_LT (std::abs (brightness (shown) - brightness (tabCase.background.getPixelAt (spot.x, spot.y))),
                           0.02f)
                    << spot.toString();
            }

            const auto key = Pictures::buttonNormal().getPixelAt (Geo::buttonWidth / 2, Geo::buttonHeight / 2);
            for (auto& button : tabCase.buttons)
            {
                const auto centre = button.getCentre() + origin;
                EXPECT_LT (std::abs (brightness (image.getPixelAt (centre.x, centre.y)) - brightness (key)), 0.02f);

                // the printed well shows as a dark rim just outside the key
                const auto rim = image.getPixelAt (origin.x + button.getX() - 2, origin.y + button.getCentreY());
                EXPECT_LT (brightness (rim), 0.1f);
            }
        }
    }

    //==============================================================================
    // The captions of the button tabs.

    /** A light caption bar is printed on the background just above the button, centred on it. */
    void expectCaptionAbove (const juce::Image& background, juce::Rectangle<int> button)
    {
        int barRow = -1;
        for (int y = button.getY() - 1; y > button.getY() - 30 && barRow < 0; --y)
            if (brightness (background.getPixelAt (button.getX() + 2, y)) > 0.7f)
                barRow = y;
        ASSERT_GE (barRow, button.getY() - 25) << "no light bar just above the button";

        // The lowest row of the bar lies below the capitals: it is light from end to end, and
        // its ends lie as far left of the button's centre as right of it.
        auto lightAt = [&] (int x) { return brightness (background.getPixelAt (x, barRow)) > 0.7f; };
        int left = button.getCentreX(), right = button.getCentreX();
        while (lightAt (left - 1))
            --left;
        while (lightAt (right + 1))
            ++right;
        EXPECT_GT (right - left, button.getWidth());
        EXPECT_NEAR ((left + right) / 2.0f, (float) button.getCentreX(), 1.5f);
    }

    TEST (ButtonTabBackgrounds, printACaptionBarCentredJustAboveEveryButton)
    {
        for (auto button : { Geo::seqFactoryButton, Geo::seqLoadButton, Geo::seqSaveButton })
            expectCaptionAbove (Pictures::sequencesBackground(), button);
        for (auto button : { Geo::webLinkButton, Geo::updaterButton })
            expectCaptionAbove (Pictures::firmwareBackground(), button);

        // the version caption runs over both version labels
        const auto background = Pictures::firmwareBackground();
        const int row = Geo::versionCaptionLabel.getY() - 20;
        EXPECT_GT (brightness (background.getPixelAt (Geo::versionCaptionLabel.getX(), row)), 0.7f);
        EXPECT_GT (brightness (background.getPixelAt (Geo::versionLabel.getRight(), row)), 0.7f);
    }
} // namespace
} // namespace tarnovelle
