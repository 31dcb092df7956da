#pragma once

// juce::MidiKeyboardComponent, without the rest of juce_audio_utils: that module would bring
// the plug-in host and every audio file format into the demo for one on-screen keyboard.
// JuceKeyboard.cpp compiles the keyboard's own two files.

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <juce_audio_utils/gui/juce_KeyboardComponentBase.h>
#include <juce_audio_utils/gui/juce_MidiKeyboardComponent.h>
