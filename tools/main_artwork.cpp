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

        bool written = true;
        bool layoutIsClean = true;
        auto write = [&] (const juce::Image& image, const char* name) {
            written = writePicture (image, resources.getChildFile (name)) && written;
        };

        {
            PrintLayout layout;
            write (paintParametersBackground (fonts, layout), "parametersBackground.jpg");
            layoutIsClean = layout.check ("parametersBackground") && layoutIsClean;
        }
        {
            PrintLayout layout;
            write (paintButtonTabBackground (
                       fonts, { Geo::sequencesCaptions.begin(), Geo::sequencesCaptions.end() },
                       { Geo::seqFactoryButton, Geo::seqLoadButton, Geo::seqSaveButton, Geo::seqEditButton },
                       Geo::sequencesFrame, 2, layout, false),
                   "sequencesBackground.jpg");
            layoutIsClean = layout.check ("sequencesBackground") && layoutIsClean;
        }
        {
            PrintLayout layout;
            write (paintButtonTabBackground (fonts, { Geo::firmwareCaptions.begin(), Geo::firmwareCaptions.end() },
                                             { Geo::webLinkButton, Geo::updaterButton }, Geo::firmwareFrame, 3, layout,
                                             true),
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
