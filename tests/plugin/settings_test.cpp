// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user settings file: folder preparation when an engine is made, reading the saved
// view size, and writing it back without disturbing the rest of the file.
#include "engine/userfolders.h"
#include "engine/vampletfx.h"
#include "plugin/hiddenparameters.h"
#include "plugin/settingsfile.h"
#include "testhome.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sys/stat.h>

using namespace vamplet;

namespace {

const char* kConf = ".tonegrove/Vamplet/Vamplet.conf";

std::string makeEngineAndCaptureOutput ()
{
	testing::internal::CaptureStdout ();
	{
		VampletFX engine;
		std::fflush (stdout);
	}
	std::fflush (stdout);
	return testing::internal::GetCapturedStdout ();
}

mode_t modeOf (const std::string& path)
{
	struct stat st {};
	stat (path.c_str (), &st);
	return st.st_mode & 0777;
}

} // namespace

TEST (SettingsFolder, FreshAccountGetsFoldersAndEmptyFileSilently)
{
	TestHome home;
	umask (0002);
	EXPECT_EQ (makeEngineAndCaptureOutput (), "");
	EXPECT_EQ (modeOf (home.file (".tonegrove")), 0775u);
	EXPECT_EQ (modeOf (home.file (".tonegrove/Vamplet")), 0775u);
	EXPECT_EQ (home.read (kConf), "");
	struct stat st {};
	EXPECT_EQ (stat (home.file (kConf).c_str (), &st), 0);
}

TEST (SettingsFolder, ExistingMakerFolderPrintsTheFolderLineOnly)
{
	TestHome home;
	mkdir (home.file (".tonegrove").c_str (), 0775);
	EXPECT_EQ (makeEngineAndCaptureOutput (),
	           "VampletFX > Error Can't Create settings configuration folder\n");
	struct stat st {};
	EXPECT_EQ (stat (home.file (kConf).c_str (), &st), 0);
}

TEST (SettingsFolder, ExistingFileIsLeftAlone)
{
	TestHome home;
	home.write (kConf, "[Plugin]\nactive=1.000000\n");
	EXPECT_EQ (makeEngineAndCaptureOutput (), "");
	EXPECT_EQ (home.read (kConf), "[Plugin]\nactive=1.000000\n");
}

TEST (SettingsFolder, NoHomeAnywhereSkipsTheFileWork)
{
	// HOME set to an unwritable place: the lines are printed and nothing crashes.
	TestHome home;
	setenv ("HOME", "/proc/vamplet-no-home", 1);
	const std::string out = makeEngineAndCaptureOutput ();
	EXPECT_NE (out.find ("configuration folder"), std::string::npos);
	EXPECT_NE (out.find ("configuration file"), std::string::npos);
}

TEST (SettingsFile, ReadingAppliesTheViewSizeOnlyWhenActive)
{
	struct Case
	{
		const char* content;
		double expected;
	} cases[] = {
	    {"[Plugin]\nactive=1.000000\nsize=0.500000\n", 0.5},
	    {"[Plugin]\nactive=0.000000\nsize=0.500000\n", 0.0},
	    {"[Plugin]\nActive=1\nsize=0.500000\n", 0.0},
	    {"[Plugin]\nactive=1.000000\nsize=1.5\n", 0.0},
	    {"[Plugin]\nactive=1.000000\nsize=abc\n", 0.0},
	    {"[plugin]\nactive=1.000000\nsize=0.500000\n", 0.0},
	    {"[Plugin]\n  active = 2 \n size = 0.25 \n", 0.25},
	    {"", 0.0},
	};
	for (const auto& c : cases)
	{
		TestHome home;
		home.write (kConf, c.content);
		HiddenParameters hidden;
		SettingsFile::read (hidden);
		EXPECT_DOUBLE_EQ (hidden.getParamValue (0), c.expected) << c.content;
	}
}

TEST (SettingsFile, SaveAndResetKeepTheRestOfTheFile)
{
	TestHome home;
	home.write (kConf, "; my notes\n[Other]\nkey=value\n\n[Plugin]\nsize=0.100000\nextra=7\n");
	ASSERT_TRUE (SettingsFile::saveAsDefault (0.25));
	std::string saved = home.read (kConf);
	EXPECT_NE (saved.find ("; my notes"), std::string::npos);
	EXPECT_NE (saved.find ("[Other]\nkey=value"), std::string::npos);
	EXPECT_NE (saved.find ("active=1.000000"), std::string::npos);
	EXPECT_NE (saved.find ("size=0.250000"), std::string::npos);
	EXPECT_NE (saved.find ("extra=7"), std::string::npos);
	HiddenParameters hidden;
	SettingsFile::read (hidden);
	EXPECT_DOUBLE_EQ (hidden.getParamValue (0), 0.25);

	ASSERT_TRUE (SettingsFile::resetDefault ());
	std::string reset = home.read (kConf);
	EXPECT_NE (reset.find ("active=0.000000"), std::string::npos);
	EXPECT_NE (reset.find ("size=0.250000"), std::string::npos) << "size keeps its value";
	HiddenParameters after;
	SettingsFile::read (after);
	EXPECT_DOUBLE_EQ (after.getParamValue (0), 0.0);
}

TEST (SettingsFile, SaveCreatesAMissingFile)
{
	TestHome home;
	mkdir (home.file (".tonegrove").c_str (), 0775);
	mkdir (home.file (".tonegrove/Vamplet").c_str (), 0775);
	ASSERT_TRUE (SettingsFile::saveAsDefault (0.75));
	EXPECT_NE (home.read (kConf).find ("[Plugin]"), std::string::npos);
}

TEST (HiddenParameters, RefusesOutsideTheTable)
{
	HiddenParameters h;
	EXPECT_TRUE (h.setParamValue (0, 0.5));
	EXPECT_TRUE (h.setParamValue (1, 1.0));
	EXPECT_FALSE (h.setParamValue (2, 0.5));
	EXPECT_FALSE (h.setParamValue (-1, 0.5));
	EXPECT_FALSE (h.setParamValue (0, 1.01));
	EXPECT_FALSE (h.setParamValue (0, -0.01));
	EXPECT_FALSE (h.setParamValue (0, std::nan ("")));
	EXPECT_DOUBLE_EQ (h.getParamValue (0), 0.5);
	EXPECT_DOUBLE_EQ (h.getParamValue (11), 0.0);
}
