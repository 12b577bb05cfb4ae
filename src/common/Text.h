// Small text helpers shared by the subsystems.
#pragma once

// True when the two texts are equal apart from the case of ASCII letters.
bool SameTextNoCase(const char* pszA, const char* pszB);
