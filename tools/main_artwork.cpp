/*  tarnovelle_artwork: paints every picture of the interface from the panel geometry and
    writes them into the resources folder given on the command line:

        tarnovelle_artwork <resources folder>

    Every picture but the icon is painted twice, at one and at two pixels per point
    ("knob0.png", "knob0_2x.png"), from the same design in points. The backgrounds become
    baseline JPEGs, everything else RGBA PNGs. All drawing is done into
    juce::Image with juce::Graphics, so no display is needed. The texture noise is seeded, so
    the same sources give the same pictures.

    Before writing, the printed layout is checked: no text may overlap another text, a slot or
    a knob, and everything must lie inside the visible part of the tab. A failed check is
    reported and makes the program end with exit code 1 (the pictures are written anyway, so
    they can be looked at).
*/

#include "artwork/Artwork.h"

#include <iostream>

namespace tarnovelle::artwork
{
namespace
{
    //==============================================================================
    bool writePicture (const juce::Image& image, const juce::File& file)
    {
        file.deleteFile();
        juce::FileOutputStream stream (file);
        if (! stream.openedOk())
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
        return image.getClippedImage ({ 0, 0, Geo::tabWidth, Geo::tabHeight });
    }

    juce::Image previewButtons (const juce::File& resources, const char* background,
                                const std::vector<juce::Rectangle<int>>& buttons)
    {
        auto image = loadPicture (resources, background).convertedToFormat (juce::Image::ARGB);
        juce::Graphics g (image);
        const char* looks[] = { "buttonNormal.png", "buttonOver.png", "buttonDown.png" };
        for (size_t i = 0; i < buttons.size(); ++i)
            g.drawImageAt (loadPicture (resources, looks[i % 3]), buttons[i].getX(), buttons[i].getY());
        return image.getClippedImage ({ 0, 0, Geo::tabWidth, Geo::tabHeight });
    }

    int writePreviews (const juce::File& resources, const juce::File& folder)
    {
        if (! folder.createDirectory())
            return 2;

        bool written = true;
        for (int choice = 0; choice < 3; ++choice)
            written = writePicture (previewSettings (resources, choice),
                                    folder.getChildFile ("settings" + juce::String (choice) + ".png"))
                      && written;

        written = writePicture (previewButtons (resources, "sequencesBackground.jpg",
                                                { Geo::seqFactoryButton, Geo::seqLoadButton, Geo::seqSaveButton,
                                                  Geo::seqEditButton }),
                                folder.getChildFile ("sequences.png"))
                  && written;
        written = writePicture (
                      previewButtons (resources, "firmwareBackground.jpg", { Geo::webLinkButton, Geo::updaterButton }),
                      folder.getChildFile ("firmware.png"))
                  && written;
        return written ? 0 : 2;
    }

    /** "knob0.png" at 1x, "knob0_2x.png" at 2x. */
    juce::String pictureName (const juce::String& name, int scale)
    {
        if (scale == 1)
            return name;
        return name.upToLastOccurrenceOf (".", false, false) + "_" + juce::String (scale) + "x"
               + name.fromLastOccurrenceOf (".", true, false);
    }

    /** Writes every picture of the interface at `scale` pixels per point. The print's layout is
        the same at every scale: it is checked once, at 1x. */
    bool writePictures (const Fonts& fonts, const juce::File& resources, int scale, bool& layoutIsClean)
    {
        bool written = true;
        auto write = [&] (const juce::Image& image, const juce::String& name) {
            written = writePicture (image, resources.getChildFile (pictureName (name, scale))) && written;
        };
        auto check = [&] (const PrintLayout& layout, const char* name) {
            layoutIsClean = (scale != 1 || layout.check (name)) && layoutIsClean;
        };

        {
            PrintLayout layout;
            write (paintParametersBackground (fonts, layout, scale), "parametersBackground.jpg");
            check (layout, "parametersBackground");
        }
        {
            PrintLayout layout;
            const ButtonTab tab{ { Geo::sequencesCaptions.begin(), Geo::sequencesCaptions.end() },
                                 { Geo::seqFactoryButton, Geo::seqLoadButton, Geo::seqSaveButton, Geo::seqEditButton },
                                 Geo::sequencesFrame,
                                 2,
                                 false };
            write (paintButtonTabBackground (fonts, tab, layout, scale), "sequencesBackground.jpg");
            check (layout, "sequencesBackground");
        }
        {
            PrintLayout layout;
            const ButtonTab tab{ { Geo::firmwareCaptions.begin(), Geo::firmwareCaptions.end() },
                                 { Geo::webLinkButton, Geo::updaterButton },
                                 Geo::firmwareFrame,
                                 3,
                                 true };
            write (paintButtonTabBackground (fonts, tab, layout, scale), "firmwareBackground.jpg");
            check (layout, "firmwareBackground");
        }

        for (auto position : { Geo::SwitchPosition::top, Geo::SwitchPosition::middle, Geo::SwitchPosition::bottom })
            write (paintSwitchPicture (position, scale), switchPictureName (position));

        for (int i = 0; i < 16; ++i)
            write (paintKnobPicture (Geo::knobAngleDegrees (i), scale), knobPictureName (i));
        write (paintKnobPicture (Geo::knobAngleDegrees (Geo::allPicture), scale), knobPictureName (Geo::allPicture));

        write (paintButtonPicture (KeyLook::normal, scale), "buttonNormal.png");
        write (paintButtonPicture (KeyLook::over, scale), "buttonOver.png");
        write (paintButtonPicture (KeyLook::down, scale), "buttonDown.png");

        write (paintLampPicture (false, scale), "lampOff.png");
        write (paintLampPicture (true, scale), "lampOn.png");
        return written;
    }

    int run (const juce::File& resources)
    {
        const Fonts fonts (juce::File ("/usr/share/fonts/truetype/dejavu"));
        if (! fonts.isComplete())
            return 2;

        if (! resources.createDirectory())
        {
            std::cerr << "cannot create " << resources.getFullPathName() << "\n";
            return 2;
        }

        bool layoutIsClean = true;
        bool written = writePictures (fonts, resources, 1, layoutIsClean);
        written = writePictures (fonts, resources, 2, layoutIsClean) && written;
        // The icon is large enough for every scale.
        written = writePicture (paintIcon (fonts), resources.getChildFile ("icon.png")) && written;

        if (! written)
            return 2;
        return layoutIsClean ? 0 : 1;
    }
} // namespace
} // namespace tarnovelle::artwork

int main (int argc, char* argv[])
{
    const auto here = juce::File::getCurrentWorkingDirectory();

    if (argc == 4 && juce::String (argv[1]) == "--preview")
        return tarnovelle::artwork::writePreviews (here.getChildFile (argv[2]), here.getChildFile (argv[3]));

    if (argc != 2)
    {
        std::cerr << "usage: tarnovelle_artwork <resources folder>\n"
                     "       tarnovelle_artwork --preview <resources folder> <preview folder>\n";
        return 2;
    }

    return tarnovelle::artwork::run (here.getChildFile (argv[1]));
}
