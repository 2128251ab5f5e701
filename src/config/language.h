#pragma once
#include <string>

struct SetupSettings;

// Chooses the language (ini key LangId, else the user's default language) and the transform
// "<folder>\<LangId>.mst" beside the program, falling back from the user's language to its
// primary language. Sets LangId, and Transform when a file was found; logs each decision.
void SelectLanguageTransform(SetupSettings& settings);

// The transform file of a language: "<program folder>\<id>.mst".
std::wstring TransformPath(unsigned langId);

// The language whose transform stands in for id: its primary language, with the Chinese
// scripts kept apart (2052 simplified, 1028 traditional, 4 otherwise); 0 for 0xFFFFFFFF.
unsigned PrimaryLanguage(unsigned id);
