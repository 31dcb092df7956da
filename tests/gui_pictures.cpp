// The embedded pictures: their formats and sizes, and how they line up with the printed panel.

#include "app/GUIEditorWindow.h"
#include "settings/GUIParametersTab.h"
#include "settings/PanelGeometry.h"
#include "settings/Pictures.h"
#include "tests/support/GuiTestSupport.h"

#include "BinaryData.h"

#include <functional>
#include <optional>

namespace tarnovelle
{
namespace
{
    namespace Geo = PanelGeometry;

    struct PictureCase
    {
        juce::String file;
        juce::Image image;
        int width, height;
        juce::Point<int> opaqueAt;     ///< a point inside the drawing, never on the transparent ground
        juce::Point<int> clearAt = {}; ///< a point of the transparent ground
    };

    std::vector<PictureCase> pictureCases()
    {
        using Pos = Geo::SwitchPosition;
        const auto cap = [] (Pos p) { return juce::Point<int> (14, (int) Geo::switchCapCentreY (p)); };
        std::vector<PictureCase> cases{
            { "parametersBackground.jpg", Pictures::parametersBackground(), 1035, 420, {} },
            { "firmwareBackground.jpg", Pictures::firmwareBackground(), 1035, 420, {} },
            { "sequencesBackground.jpg", Pictures::sequencesBackground(), 1035, 420, {} },
            { "switchTop.png", Pictures::switchTop(), 29, 65, cap (Pos::top), cap (Pos::middle) },
            { "switchMiddle.png", Pictures::switchMiddle(), 29, 65, cap (Pos::middle), cap (Pos::bottom) },
            { "switchBottom.png", Pictures::switchBottom(), 29, 65, cap (Pos::bottom), cap (Pos::top) },
            { "knobAll.png", Pictures::knobAll(), 66, 65, { 33, 32 } },
            { "buttonNormal.png", Pictures::buttonNormal(), 70, 55, { 35, 27 } },
            { "buttonOver.png", Pictures::buttonOver(), 70, 55, { 35, 27 } },
            { "buttonDown.png", Pictures::buttonDown(), 70, 55, { 35, 27 } },
            { "lampOff.png", Pictures::lampOff(), 21, 21, { 10, 10 } },
            { "lampOn.png", Pictures::lampOn(), 21, 21, { 10, 10 } },
        };
        for (int i = 0; i < Pictures::knobCount; ++i)
            cases.push_back ({ "knob" + juce::String (i) + ".png", Pictures::knob (i), 66, 65, { 33, 32 } });
        return cases;
    }

    /** The frame markers (C0 to CF without DHT, JPG and DAC) before the first scan of a JPEG. */
    juce::Array<int> jpegFrameMarkers (const juce::uint8* bytes, int size)
    {
        juce::Array<int> markers;
        for (int at = 2; at + 4 <= size && bytes[at] == 0xff && bytes[at + 1] != 0xda;
             at += 2 + ((bytes[at + 2] << 8) | bytes[at + 3]))
            if (const int m = bytes[at + 1]; m >= 0xc0 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc)
                markers.add (m);
        return markers;
    }

    TEST (EmbeddedPictures, everyPictureDecodesWithItsSizeFormatAndAlpha)
    {
        const auto cases = pictureCases();
        EXPECT_EQ (BinaryData::namedResourceListSize, (int) cases.size() + 1) << "the pictures and the icon";

        for (auto& p : cases)
        {
            SCOPED_TRACE (p.file);
            int size = 0;
            const auto* bytes = reinterpret_cast<const juce::uint8*> (
                BinaryData::getNamedResource (p.file.replaceCharacter ('.', '_').toRawUTF8(), size));
            ASSERT_TRUE (bytes != nullptr && size > 33);
            EXPECT_EQ (p.image.getBounds(), juce::Rectangle<int> (p.width, p.height));

            if (p.file.endsWith (".jpg"))
            {
                EXPECT_EQ (jpegFrameMarkers (bytes, size), juce::Array<int> (0xc0)) << "one baseline frame only";
                EXPECT_FALSE (p.image.hasAlphaChannel());
                continue;
            }

            EXPECT_EQ (memcmp (bytes, "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16), 0) << "signature and header";
            EXPECT_EQ ((int) juce::ByteOrder::bigEndianInt (bytes + 16), p.width);
            EXPECT_EQ ((int) juce::ByteOrder::bigEndianInt (bytes + 20), p.height);
            EXPECT_TRUE (bytes[24] == 8 && bytes[25] == 6) << "8 bits per channel, RGBA";
            ASSERT_TRUE (p.image.hasAlphaChannel());
            for (int corner = 0; corner < 4; ++corner)
                EXPECT_EQ (p.image.getPixelAt ((corner & 1) * (p.width - 1), (corner / 2) * (p.height - 1)).getAlpha(),
                           0)
                    << "corner " << corner;
            EXPECT_EQ (p.image.getPixelAt (p.clearAt.x, p.clearAt.y).getAlpha(), 0)
                << "the ground, or another cap position";
            EXPECT_EQ (p.image.getPixelAt (p.opaqueAt.x, p.opaqueAt.y).getAlpha(), 255);
        }

        const auto middle = [] (const juce::Image& image) { return image.getPixelAt (35, 27).getBrightness(); };
        EXPECT_LT (middle (Pictures::buttonOver()), middle (Pictures::buttonNormal()));
        EXPECT_LT (middle (Pictures::buttonDown()), middle (Pictures::buttonOver()));
        EXPECT_GT (Pictures::lampOn().getPixelAt (10, 10).getBrightness(),
                   Pictures::lampOff().getPixelAt (10, 10).getBrightness() + 0.3f);
    }

    //==============================================================================
    // Finding the pointer, the caps and the print in rendered pixels.

    float brightness (juce::Colour c) { return (c.getFloatRed() + c.getFloatGreen() + c.getFloatBlue()) / 3.0f; }

    /** Clockwise from 12 o'clock, 0 to 360. */
    float angleFrom (juce::Point<float> centre, juce::Point<float> point)
    {
        const auto angle = juce::radiansToDegrees (std::atan2 (point.x - centre.x, centre.y - point.y));
        return angle < 0.0f ? angle + 360.0f : angle;
    }

    float angleBetween (float a, float b) { return std::abs (std::remainder (a - b, 360.0f)); }

    /** The weighted centre of the pixels within a radius of a point, or nothing when none weighs. */
    std::optional<juce::Point<float>> centroid (const juce::Image& image, juce::Point<float> at, float radius,
                                                const std::function<float (juce::Point<float>, juce::Colour)>& weightOf)
    {
        const auto area =
            juce::Rectangle<float> (2.0f * radius, 2.0f * radius).withCentre (at).getSmallestIntegerContainer();
        juce::Point<double> sum;
        double total = 0.0;
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (const juce::Point<float> p (x + 0.5f, y + 0.5f); at.getDistanceFrom (p) < radius)
                    if (const auto w = weightOf (p, image.getPixelAt (x, y)); w > 0.0f)
                    {
                        sum += p.toDouble() * (double) w;
                        total += w;
                    }

        return total > 0.0 ? std::optional ((sum / total).toFloat()) : std::nullopt;
    }

    /** The angle of the light paint of a pointer, on the knob's own disc where no print shows. */
    std::optional<float> pointerAngle (const juce::Image& image, juce::Point<float> centre)
    {
        const auto tip = centroid (image, centre, Geo::knobSkirtRadius - 1.0f, [centre] (auto p, auto c) {
            return centre.getDistanceFrom (p) > 6.0f ? juce::jmax (0.0f, brightness (c) - 0.7f) : 0.0f;
        });
        return tip ? std::optional<float> (angleFrom (centre, *tip)) : std::nullopt;
    }

    float lightPrint (juce::Point<float>, juce::Colour c) { return juce::jmax (0.0f, brightness (c) - 0.4f); }

    struct KnobCase
    {
        const char* name; ///< the printed name of the scale, as the geometry table has it
        std::function<void (GUIParametersTab&, int value)> show;
        std::vector<std::pair<int, juce::String>> valuesAndLabels; ///< each value and the label it must point at
    };

    std::vector<KnobCase> knobCases()
    {
        std::vector<std::pair<int, juce::String>> channels, bend;
        for (int v = 0; v < 16; ++v)
            channels.push_back ({ v, juce::String (v + 1) });
        for (int v = 1; v <= 12; ++v)
            bend.push_back ({ v, juce::String (v) });
        auto receive = channels;
        receive.push_back ({ 16, "All" });

        return {
            { "TRANSMIT CHANNEL", [] (GUIParametersTab& t, int v) { t.showMidiOutChannel (v); }, channels },
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

    juce::Image snapshot (juce::Component& c) { return c.createComponentSnapshot (c.getLocalBounds(), true, 1.0f); }

    TEST (SettingsTabRendering, everyKnobPointsAlongTheRayToItsPrintedLabelForEveryValue)
    {
        GUIParametersTab tab;
        const auto background = Pictures::parametersBackground();

        for (auto& knobCase : knobCases())
        {
            const auto knob = std::find_if (Geo::knobs.begin(), Geo::knobs.end(),
                                            [&] (auto& k) { return juce::String (k.name) == knobCase.name; });
            ASSERT_NE (knob, Geo::knobs.end()) << knobCase.name;
            const auto centre = knob->centre();

            for (auto& [value, text] : knobCase.valuesAndLabels)
            {
                SCOPED_TRACE (juce::String (knobCase.name) + " " + juce::String (value) + " (" + text + ")");
                const auto label = std::find_if (knob->labels.begin(), knob->labels.end(),
                                                 [&] (auto& l) { return Geo::scaleText (l) == text; });
                ASSERT_NE (label, knob->labels.end()) << "no such label in the geometry";

                // where the background prints the label and its tick
                const auto labelCentre = knob->labelCentre (*label);
                const auto print = centroid (background, labelCentre, 7.0f, lightPrint);
                ASSERT_TRUE (print.has_value()) << "nothing printed at the label's place";
                EXPECT_LT (print->getDistanceFrom (labelCentre), 3.0f);
                const auto tickRadius = (Geo::tickInnerRadius + Geo::tickOuterRadius) / 2.0f;
                const auto geometryAngle = Geo::knobAngleDegrees (label->picture);
                const auto tick = centroid (background, centre, tickRadius + 3.0f, [&] (auto p, auto c) {
                    return std::abs (centre.getDistanceFrom (p) - tickRadius) < 1.5f
                                   && angleBetween (angleFrom (centre, p), geometryAngle) < 8.0f
                               ? lightPrint (p, c)
                               : 0.0f;
                });
                ASSERT_TRUE (tick.has_value()) << "no tick printed";

                // where the knob on the tab points
                knobCase.show (tab, value);
                const auto pointer = pointerAngle (snapshot (tab), centre);
                ASSERT_TRUE (pointer.has_value()) << "no pointer found";
                EXPECT_LT (angleBetween (*pointer, angleFrom (centre, *tick)), 2.5f) << "pointer " << *pointer;
                EXPECT_LT (angleBetween (*pointer, angleFrom (centre, *print)), 6.0f) << "pointer " << *pointer;
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

        auto* tabs = test::findChild<juce::TabbedComponent> (window);
        ASSERT_NE (tabs, nullptr);

        const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile ("snapshots");
        ASSERT_TRUE (folder.createDirectory());

        struct TabCase
        {
            const char* file;
            juce::Image background;
            std::vector<juce::Rectangle<int>> buttons;
        };
        const TabCase cases[] = {
            { "configuration.png", Pictures::parametersBackground(), {} },
            { "firmware.png", Pictures::firmwareBackground(), { Geo::webLinkButton, Geo::updaterButton } },
            { "sequences.png",
              Pictures::sequencesBackground(),
              { Geo::seqFactoryButton, Geo::seqLoadButton, Geo::seqSaveButton } },
        };

        for (int index = 0; index < 3; ++index)
        {
            const auto& tabCase = cases[index];
            SCOPED_TRACE (tabCase.file);
            tabs->setCurrentTabIndex (index);
            ASSERT_NE (tabs->getCurrentContentComponent(), nullptr);
            const auto origin = tabs->getCurrentContentComponent()->getPosition() + tabs->getPosition();

            const auto image = snapshot (window);
            juce::MemoryOutputStream png;
            EXPECT_TRUE (juce::PNGImageFormat().writeImageToStream (image, png));
            EXPECT_TRUE (folder.getChildFile (tabCase.file).replaceWithData (png.getData(), png.getDataSize()));

            // places where only the panel shows, as far apart as the visible area allows
            for (auto spot : { juce::Point<int> (120, 70), juce::Point<int> (800, 370), juce::Point<int> (600, 100) })
                EXPECT_LT (std::abs (brightness (image.getPixelAt (origin.x + spot.x, origin.y + spot.y))
                                     - brightness (tabCase.background.getPixelAt (spot.x, spot.y))),
                           0.02f)
                    << spot.toString();

            const auto key = Pictures::buttonNormal().getPixelAt (Geo::buttonWidth / 2, Geo::buttonHeight / 2);
            for (auto& button : tabCase.buttons)
            {
                const auto centre = button.getCentre() + origin;
                EXPECT_LT (std::abs (brightness (image.getPixelAt (centre.x, centre.y)) - brightness (key)), 0.02f);
                // the printed well shows as a dark rim just outside the key
                EXPECT_LT (brightness (image.getPixelAt (origin.x + button.getX() - 2, centre.y)), 0.1f);
            }
        }
    }
} // namespace
} // namespace tarnovelle
