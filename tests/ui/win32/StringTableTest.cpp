// The updater's string table exists twice: in the program's resources (res/vuq.rc),
// which the pages render, and compiled into the portable code (res/VuqStrings.cpp),
// which the worker and the link read. Both must hold the same ids and texts.
#include <gtest/gtest.h>

#include <string>

#include "res/Strings.h"
#include "ui/RichText.h"

TEST(StringTable, ResourcesAndCompiledTableAgree)
{
    for (UINT nId = 0; nId <= 0xFFFF; ++nId)
    {
        std::string strResource = LoadResourceText(nId);
        std::string strCompiled = LoadVuqString(nId);
        EXPECT_EQ(strResource, strCompiled) << "string " << nId;
    }
    // The page texts are among them.
    EXPECT_FALSE(LoadResourceText(IDS_WELCOME_TEXT).empty());
    EXPECT_FALSE(LoadResourceText(IDS_CANCEL_QUESTION).empty());
}
