// The text of the last platform failure.
#pragma once

// The system's text for the last failed platform call, in the default language.
const char *PlatLastErrorText();
