#include "demo/JuceKeyboard.h"

#include <juce_audio_utils/gui/juce_KeyboardComponentBase.cpp>
#include <juce_audio_utils/gui/juce_MidiKeyboardComponent.cpp>
