#include "DuzezavureApplication.h"

START_JUCE_APPLICATION (brindle::DuzezavureApplication)
