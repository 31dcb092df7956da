// The desktop's scale: where it is read from, in which order, and the XSETTINGS bytes.

#include "platform/DesktopScale.h"

#include <gtest/gtest.h>

#include <string_view>

using namespace std::string_view_literals;

namespace tarnovelle
{
namespace
{
    // An XSETTINGS property as a settings manager writes it, in either byte order.
    class XSettingsBytes final
    {
    public:
        explicit XSettingsBytes (bool bigEndian)
            : big (bigEndian)
        {}

        XSettingsBytes& integer (std::string_view name, juce::int32 value)
        {
            header (0, name);
            card (4, (juce::uint32) value);
            return *this;
        }

        XSettingsBytes& string (std::string_view name, std::string_view value)
        {
            header (1, name);
            card (4, (juce::uint32) value.size());
            padded (value);
            return *this;
        }

        XSettingsBytes& colour (const char* name)
        {
            header (2, name);
            for (int channel = 0; channel < 4; ++channel)
                card (2, 0xffff);
            return *this;
        }

        juce::MemoryBlock bytes() const
        {
            std::vector<juce::uint8> all{ (juce::uint8) (big ? 1 : 0), 0, 0, 0 };
            for (int i = 0; i < 8; ++i) // serial 7, then the count
                all.push_back (0);
            const auto put = [&] (size_t at, juce::uint32 value) {
                for (size_t i = 0; i < 4; ++i)
                    all[at + (big ? 3 - i : i)] = (juce::uint8) (value >> (8 * i));
            };
            put (4, 7);
            put (8, (juce::uint32) count);
            all.insert (all.end(), body.begin(), body.end());
            return { all.data(), all.size() };
        }

    private:
        void header (juce::uint8 type, std::string_view name)
        {
            ++count;
            body.push_back (type);
            body.push_back (0);
            card (2, (juce::uint32) name.size());
            padded (name);
            card (4, 3); // last-change serial
        }

        void card (size_t size, juce::uint32 value)
        {
            for (size_t i = 0; i < size; ++i)
                body.push_back ((juce::uint8) (value >> (8 * (big ? size - 1 - i : i))));
        }

        void padded (std::string_view text)
        {
            body.insert (body.end(), text.begin(), text.end());
            while (body.size() % 4 != 0)
                body.push_back (0);
        }

        bool big;
        int count = 0;
        std::vector<juce::uint8> body;
    };

    TEST (DesktopScale, theWindowScalingFactorIsFoundAmongTheManagersSettingsInEitherByteOrder)
    {
        for (bool big : { false, true })
        {
            SCOPED_TRACE (big ? "big-endian" : "little-endian");
            const auto bytes = XSettingsBytes (big)
                                   .string ("Net/ThemeName", "Adwaita")
                                   .colour ("Gtk/Color")
                                   .integer ("Gdk/UnscaledDPI", 98304)
                                   .integer ("Gdk/WindowScalingFactor", 2)
                                   .bytes();
            EXPECT_EQ (DesktopScale::findXSettingsInteger (bytes, "Gdk/WindowScalingFactor"), 2);
            EXPECT_EQ (DesktopScale::findXSettingsInteger (bytes, "Gdk/UnscaledDPI"), 98304);
            EXPECT_EQ (DesktopScale::findXSettingsInteger (bytes, "Net/ThemeName"), std::nullopt) << "not an integer";
            EXPECT_EQ (DesktopScale::findXSettingsInteger (bytes, "Gdk/Window"), std::nullopt);

            // cut anywhere, the bytes give nothing and are never read past their end
            for (size_t size = 0; size < bytes.getSize(); ++size)
            {
                const juce::MemoryBlock cut (bytes.getData(), size);
                EXPECT_EQ (DesktopScale::findXSettingsInteger (cut, "Gdk/WindowScalingFactor"), std::nullopt) << size;
            }
        }
    }

    // Names and strings are as long as their byte counts say: a 0 byte inside a name belongs to
    // it, and characters of several bytes at the property's very end (where no padding follows)
    // end where their bytes end.
    TEST (DesktopScale, xsettingsNamesAndStringsAreCountedInBytes)
    {
        const auto bytes = XSettingsBytes (false)
                               .integer ("Gdk/WindowScalingFactor\0old"sv, 3)
                               .integer ("Gdk/WindowScalingFactor", 2)
                               .integer ("Gtk/Größe", 5)
                               .string ("Net/ThemeName", "ÄÖÜßéèàç")
                               .bytes();
        ASSERT_EQ (bytes.getSize() % 4, 0u);
        EXPECT_EQ (DesktopScale::findXSettingsInteger (bytes, "Gdk/WindowScalingFactor"), 2);
        EXPECT_EQ (DesktopScale::findXSettingsInteger (bytes, juce::CharPointer_UTF8 ("Gtk/Größe")), 5);
        EXPECT_EQ (DesktopScale::findXSettingsInteger (bytes, "Gdk/Missing"), std::nullopt);
    }

    TEST (DesktopScale, theFirstSourceThatIsSetDecides)
    {
        using S = DesktopScale::Sources;
        const std::tuple<const char*, S, double> cases[] = {
            { "nothing set", S{}, 1.0 },
            { "XSETTINGS before all", S{ 2, "3", 288.0, 384.0 }, 2.0 },
            { "XSETTINGS at 1 holds against a dense screen", S{ 1, "", 0.0, 192.0 }, 1.0 },
            { "a broken XSETTINGS value is passed over", S{ 0, "2", 0.0, 0.0 }, 2.0 },
            { "GDK_SCALE before the dpi", S{ {}, "2", 96.0, 96.0 }, 2.0 },
            { "GDK_SCALE takes whole numbers only", S{ {}, "1.5", 0.0, 192.0 }, 2.0 },
            { "Xft.dpi 144 is 150 %", S{ {}, "", 144.0, 96.0 }, 1.5 },
            { "Xft.dpi in quarter steps", S{ {}, "", 118.0, 0.0 }, 1.25 },
            { "Xft.dpi below 96 does not shrink", S{ {}, "", 72.0, 0.0 }, 1.0 },
            { "the screen's dpi 192", S{ {}, "", 0.0, 192.0 }, 2.0 },
            { "the screen's dpi 144", S{ {}, "", 0.0, 144.0 }, 1.5 },
            { "the screen's dpi near 96", S{ {}, "", 0.0, 100.0 }, 1.0 },
        };
        for (auto& [what, sources, expected] : cases)
            EXPECT_EQ (DesktopScale::chooseScale (sources), expected) << what;

        EXPECT_EQ (DesktopScale::findXftDpi ("Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n"), 192.0);
        EXPECT_EQ (DesktopScale::findXftDpi ("Xft.dpix: 7\n*.dpi: 144\n"), 0.0);

        EXPECT_EQ (DesktopScale::pictureScaleFor (1.0), 1);
        EXPECT_EQ (DesktopScale::pictureScaleFor (1.25), 2);
        EXPECT_EQ (DesktopScale::pictureScaleFor (2.0), 2);
    }
} // namespace
} // namespace tarnovelle
