// The embedded pictures: their formats and sizes, and how they line up with the printed panel;
// and how the dialogs draw their progress bars and icons.

#include "app/GUIEditorWindow.h"
#include "platform/DialogLookAndFeel.h"
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

    // The frame markers (C0 to CF without DHT, JPG and DAC) before the first scan of a JPEG.
    juce::Array<int> jpegFrameMarkers (const juce::uint8* bytes, int size)
    {
        juce::Array<int> markers;
        for (int at = 2; at + 4 <= size && bytes[at] == 0xff && bytes[at + 1] != 0xda;
             at += 2 + ((bytes[at + 2] << 8) | bytes[at + 3]))
            if (const int m = bytes[at + 1]; m >= 0xc0 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc)
                markers.add (m);
        return markers;
    }

    float brightness (juce::Colour c) { return (c.getFloatRed() + c.getFloatGreen() + c.getFloatBlue()) / 3.0f; }

    // How far apart two pictures of one size are: the mean difference of their channels, 0 to 1.
    float meanDifference (const juce::Image& a, const juce::Image& b)
    {
        double sum = 0.0;
        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
            {
                const auto p = a.getPixelAt (x, y), q = b.getPixelAt (x, y);
                sum += std::abs (p.getFloatAlpha() - q.getFloatAlpha())
                       + p.getFloatAlpha() * q.getFloatAlpha() * std::abs (brightness (p) - brightness (q));
            }
        return (float) (sum / (a.getWidth() * a.getHeight()));
    }

    // Each pixel the average of the 2 x 2 pixels it stands for.
    juce::Image halved (const juce::Image& image)
    {
        juce::Image half (juce::Image::ARGB, image.getWidth() / 2, image.getHeight() / 2, true);
        for (int y = 0; y < half.getHeight(); ++y)
            for (int x = 0; x < half.getWidth(); ++x)
            {
                float sum[4] = {};
                for (auto [dx, dy] : { std::pair (0, 0), std::pair (1, 0), std::pair (0, 1), std::pair (1, 1) })
                {
                    const auto p = image.getPixelAt (2 * x + dx, 2 * y + dy);
                    const float channels[4] = { p.getFloatAlpha(), p.getFloatRed() * p.getFloatAlpha(),
                                                p.getFloatGreen() * p.getFloatAlpha(),
                                                p.getFloatBlue() * p.getFloatAlpha() };
                    for (int c = 0; c < 4; ++c)
                        sum[c] += channels[c] / 4.0f;
                }
                const auto alpha = sum[0] > 0.0f ? sum[0] : 1.0f;
                half.setPixelAt (x, y,
                                 juce::Colour::fromFloatRGBA (sum[1] / alpha, sum[2] / alpha, sum[3] / alpha, sum[0]));
            }
        return half;
    }

    TEST (EmbeddedPictures, everyPictureDecodesAt1xAnd2xWithItsSizeFormatAndAlpha)
    {
        // file, picture at a scale, width and height in points, a point inside the drawing, a
        // point of the transparent ground (for a switch: another cap position)
        using Picture = std::function<juce::Image (int)>;
        using Case = std::tuple<juce::String, Picture, int, int, juce::Point<int>, juce::Point<int>>;
        using Pos = Geo::SwitchPosition;
        const auto cap = [] (Pos p) { return juce::Point<int> (14, (int) Geo::switchCapCentreY (p)); };
        std::vector<Case> cases{
            { "parametersBackground.jpg", Pictures::parametersBackground, 1035, 420, {}, {} },
            { "firmwareBackground.jpg", Pictures::firmwareBackground, 1035, 420, {}, {} },
            { "sequencesBackground.jpg", Pictures::sequencesBackground, 1035, 420, {}, {} },
            { "switchTop.png", Pictures::switchTop, 29, 65, cap (Pos::top), cap (Pos::middle) },
            { "switchMiddle.png", Pictures::switchMiddle, 29, 65, cap (Pos::middle), cap (Pos::bottom) },
            { "switchBottom.png", Pictures::switchBottom, 29, 65, cap (Pos::bottom), cap (Pos::top) },
            { "knobAll.png", Pictures::knobAll, 66, 65, { 33, 32 }, {} },
            { "buttonNormal.png", Pictures::buttonNormal, 70, 55, { 35, 27 }, {} },
            { "buttonOver.png", Pictures::buttonOver, 70, 55, { 35, 27 }, {} },
            { "buttonDown.png", Pictures::buttonDown, 70, 55, { 35, 27 }, {} },
            { "lampOff.png", Pictures::lampOff, 21, 21, { 10, 10 }, {} },
            { "lampOn.png", Pictures::lampOn, 21, 21, { 10, 10 }, {} },
        };
        for (int i = 0; i < Pictures::knobCount; ++i)
            cases.push_back ({ "knob" + juce::String (i) + ".png",
                               [i] (int scale) { return Pictures::knob (i, scale); },
                               66,
                               65,
                               { 33, 32 },
                               {} });

        for (auto& [file, picture, width, height, opaqueAt, clearAt] : cases)
            for (int scale : { 1, 2 })
            {
                const auto name = file.replace (".", scale == 2 ? "_2x_" : "_");
                SCOPED_TRACE (name);
                int size = 0;
                const auto* bytes =
                    reinterpret_cast<const juce::uint8*> (BinaryData::getNamedResource (name.toRawUTF8(), size));
                ASSERT_TRUE (bytes != nullptr && size > 33);
                const auto image = picture (scale);
                EXPECT_EQ (image.getBounds(), juce::Rectangle<int> (width * scale, height * scale));

                // the same drawing as at 1x, not another one nor one shifted by a pixel
                if (scale == 2)
                {
                    EXPECT_LT (meanDifference (halved (image), picture (1)), 0.012f);
                }

                if (file.endsWith (".jpg"))
                {
                    EXPECT_EQ (jpegFrameMarkers (bytes, size), juce::Array<int> (0xc0)) << "one baseline frame only";
                    continue;
                }

                EXPECT_EQ (memcmp (bytes, "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16), 0) << "signature and header";
                EXPECT_TRUE (bytes[24] == 8 && bytes[25] == 6) << "8 bits per channel, RGBA";
                for (auto at : std::initializer_list<juce::Point<int>>{ clearAt, { width - 1, 0 }, { 0, height - 1 } })
                    EXPECT_EQ (image.getPixelAt (at.x * scale, at.y * scale).getAlpha(), 0) << at.toString();
                EXPECT_EQ (image.getPixelAt (opaqueAt.x * scale, opaqueAt.y * scale).getAlpha(), 255);
            }

        // The key darkens under the mouse and more when pressed; the lit lamp is clearly brighter.
        const auto middle = [] (const juce::Image& image) { return image.getPixelAt (35, 27).getBrightness(); };
        EXPECT_LT (middle (Pictures::buttonOver()), middle (Pictures::buttonNormal()));
        EXPECT_LT (middle (Pictures::buttonDown()), middle (Pictures::buttonOver()));
        EXPECT_GT (Pictures::lampOn().getPixelAt (10, 10).getBrightness(),
                   Pictures::lampOff().getPixelAt (10, 10).getBrightness() + 0.3f);
    }

    //==============================================================================
    // The angle between two directions in degrees, clockwise from 12 o'clock in any turn.
    float angleBetween (float a, float b) { return std::abs (std::remainder (a - b, 360.0f)); }

    // The centre of the pixels within a radius of a point, each weighted by how much brighter
    // than the threshold it is (and nearer the point than minRadius weighs nothing).
    std::optional<juce::Point<float>> lightCentre (const juce::Image& image, juce::Point<float> at, float radius,
                                                   float threshold, float minRadius = 0.0f)
    {
        const auto area = juce::Rectangle<float> (2 * radius, 2 * radius).withCentre (at).getSmallestIntegerContainer();
        juce::Point<double> sum;
        double total = 0.0;
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (const juce::Point<float> p (x + 0.5f, y + 0.5f);
                    juce::isPositiveAndBelow (at.getDistanceFrom (p) - minRadius, radius - minRadius))
                    if (const auto w = brightness (image.getPixelAt (x, y)) - threshold; w > 0.0f)
                    {
                        sum += p.toDouble() * (double) w;
                        total += w;
                    }
        return total > 0.0 ? std::optional ((sum / total).toFloat()) : std::nullopt;
    }

    juce::Image snapshot (juce::Component& c) { return c.createComponentSnapshot (c.getLocalBounds()); }

    TEST (SettingsTabRendering, everyKnobPointsAlongTheRayToItsPrintedLabelForEveryValue)
    {
        using Scale = std::vector<std::pair<int, juce::String>>; // each value and the label it points at
        const auto numbered = [] (int first, int last, int labelShift, Scale scale = {}) {
            for (int v = first; v <= last; ++v)
                scale.push_back ({ v, juce::String (v + labelShift) });
            return scale;
        };

        using T = GUIParametersTab;
        const std::tuple<const char*, void (T::*) (int), Scale> cases[] = {
            { "TRANSMIT CHANNEL", &T::showMidiOutChannel, numbered (0, 15, 1) },
            { "RECEIVE CHANNEL", &T::showMidiInChannel, numbered (0, 15, 1, { { 16, "All" } }) },
            { "STEP", &T::showStepSize, { { 4, "1/4" }, { 8, "1/8" }, { 16, "1/16" }, { 32, "1/32" } } },
            { "BEND RANGE", &T::showBendRange, numbered (1, 12, 0) },
            { "SYNC", &T::showClockSync, { { 0, "Auto" }, { 1, "Int" }, { 2, "Ext" } } },
        };

        GUIParametersTab tab;
        const auto background = Pictures::parametersBackground();
        for (auto& [name, show, valuesAndLabels] : cases)
        {
            const auto knob = std::find_if (Geo::knobs.begin(), Geo::knobs.end(),
                                            [name = name] (auto& k) { return juce::String (k.name) == name; });
            ASSERT_NE (knob, Geo::knobs.end()) << name;
            const auto centre = knob->centre();

            for (auto& [value, text] : valuesAndLabels)
            {
                SCOPED_TRACE (juce::String (name) + " " + juce::String (value) + " (" + text + ")");
                const auto label = std::find_if (knob->labels.begin(), knob->labels.end(),
                                                 [text = text] (auto& l) { return Geo::scaleText (l) == text; });
                ASSERT_NE (label, knob->labels.end()) << "no such label in the geometry";

                const auto print = lightCentre (background, knob->labelCentre (*label), 7.0f, 0.4f);
                ASSERT_TRUE (print.has_value()) << "nothing printed at the label's place";
                EXPECT_LT (print->getDistanceFrom (knob->labelCentre (*label)), 3.0f);

                // the light paint of the pointer, on the knob's own disc where no print shows
                (tab.*show) (value);
                const auto tip = lightCentre (snapshot (tab), centre, Geo::knobSkirtRadius - 1.0f, 0.7f, 6.0f);
                ASSERT_TRUE (tip.has_value()) << "no pointer found";
                const auto pointer = juce::radiansToDegrees (centre.getAngleToPoint (*tip));
                EXPECT_LT (angleBetween (pointer, Geo::knobAngleDegrees (label->picture)), 2.5f) << pointer;
                EXPECT_LT (angleBetween (pointer, juce::radiansToDegrees (centre.getAngleToPoint (*print))), 6.0f)
                    << pointer;
            }
        }
    }

    //==============================================================================
    // The whole editor window, as the user sees it. Each tab's snapshot is kept in the build
    // folder (snapshots/*.png) for people to look at.

    TEST (EditorWindowSnapshots, everyTabIsKeptAsAPictureWithItsButtonsInTheirPrintedWells)
    {
        GUIEditorWindow window;
        window.setConnected (true);
        window.showFirmwareVersion (1, 0, 3, 2);
        auto& tabs = *test::findChild<juce::TabbedComponent> (window);
        const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile ("snapshots");
        folder.createDirectory();

        const std::pair<const char*, std::vector<juce::Rectangle<int>>> cases[] = {
            { "configuration.png", {} },
            { "firmware.png", { Geo::webLinkButton, Geo::updaterButton } },
            { "sequences.png", { Geo::seqFactoryButton, Geo::seqLoadButton, Geo::seqSaveButton, Geo::seqEditButton } },
        };
        const auto key = brightness (Pictures::buttonNormal().getPixelAt (35, 27));

        for (int index = 0; index < 3; ++index)
        {
            auto& [file, buttons] = cases[index];
            SCOPED_TRACE (file);
            tabs.setCurrentTabIndex (index);
            ASSERT_NE (tabs.getCurrentContentComponent(), nullptr);
            const auto origin = tabs.getCurrentContentComponent()->getPosition() + tabs.getPosition();

            const auto image = snapshot (window);
            juce::MemoryOutputStream png;
            EXPECT_TRUE (juce::PNGImageFormat().writeImageToStream (image, png));
            EXPECT_TRUE (folder.getChildFile (file).replaceWithData (png.getData(), png.getDataSize()));

            for (auto& button : buttons)
            {
                const auto centre = button.getCentre() + origin;
                EXPECT_LT (std::abs (brightness (image.getPixelAt (centre.x, centre.y)) - key), 0.02f);
                // the printed well shows as a dark rim just outside the key
                EXPECT_LT (brightness (image.getPixelAt (origin.x + button.getX() - 2, centre.y)), 0.1f);
            }
        }
    }

    //==============================================================================
    // The contrast ratio of two colours as the web's accessibility guidelines define it, 1 to 21.
    double contrastRatio (juce::Colour a, juce::Colour b)
    {
        const auto luminance = [] (juce::Colour c) {
            const auto linear = [] (float v) {
                return v <= 0.03928f ? v / 12.92 : std::pow ((v + 0.055) / 1.055, 2.4);
            };
            return 0.2126 * linear (c.getFloatRed()) + 0.7152 * linear (c.getFloatGreen())
                   + 0.0722 * linear (c.getFloatBlue());
        };
        const auto la = luminance (a), lb = luminance (b);
        return (juce::jmax (la, lb) + 0.05) / (juce::jmin (la, lb) + 0.05);
    }

    TEST (DialogLook, theProgressFillStandsOutFromItsTrackAndIconsStayWholeBesideTheTitle)
    {
        DialogLookAndFeel look;

        // A progress window's bar, half full, as the window draws it: fill on the left, track on
        // the right, both opaque over the window.
        double progress = 0.5;
        std::unique_ptr<juce::AlertWindow> window (look.createAlertWindow (
            "Firmware update:", "Downloading", "Cancel", {}, {}, juce::MessageBoxIconType::NoIcon, 0, nullptr));
        window->addProgressBarComponent (progress);
        window->setLookAndFeel (&look); // as the program's default look it is everywhere
        const juce::ScopeGuard endLook{ [&window] { window->setLookAndFeel (nullptr); } };
        auto* bar = test::findChild<juce::ProgressBar> (*window);
        ASSERT_NE (bar, nullptr);
        juce::Image drawn (juce::Image::RGB, bar->getWidth(), bar->getHeight(), true);
        {
            juce::Graphics g (drawn);
            g.fillAll (window->findColour (juce::AlertWindow::backgroundColourId));
            look.drawProgressBar (g, *bar, bar->getWidth(), bar->getHeight(), progress, {});
        }
        const auto fill = drawn.getPixelAt (bar->getWidth() / 4, bar->getHeight() / 2);
        const auto track = drawn.getPixelAt (bar->getWidth() * 3 / 4, bar->getHeight() / 2);
        EXPECT_GE (contrastRatio (fill, track), 3.0)
            << fill.toDisplayString (false) << " on " << track.toDisplayString (false);

        // A warning box: its icon lies wholly inside the box, left of where the title starts.
        for (auto type : { juce::MessageBoxIconType::WarningIcon, juce::MessageBoxIconType::InfoIcon })
        {
            std::unique_ptr<juce::AlertWindow> box (look.createAlertWindow (
                "Firmware version", "The firmware version is outdated.", "OK", "Cancel", {}, type, 2, nullptr));
            box->setLookAndFeel (&look); // as the program's default look it is everywhere
            const auto image = box->createComponentSnapshot (box->getLocalBounds(), false);
            box->setLookAndFeel (nullptr);
            // Coloured pixels above the buttons: neither the grey box nor its white text.
            const int buttonsTop = test::findChild<juce::TextButton> (*box)->getY();
            juce::Rectangle<int> icon;
            for (int y = 0; y < buttonsTop; ++y)
                for (int x = 0; x < image.getWidth(); ++x)
                    if (const auto p = image.getPixelAt (x, y);
                        p.getAlpha() == 255 && std::abs (p.getRed() - p.getGreen()) > 40)
                        icon = icon.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : icon.getUnion ({ x, y, 1, 1 });
            EXPECT_TRUE (icon.getWidth() > 30 && icon.getX() > 4 && icon.getY() > 4) << icon.toString();
            EXPECT_LE (icon.getRight(), DialogLookAndFeel::iconColumnWidth) << icon.toString();
        }
    }
} // namespace
} // namespace tarnovelle
