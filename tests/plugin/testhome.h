// SPDX-License-Identifier: GPL-3.0-or-later
// Points HOME at a fresh temporary folder for one test, so the settings folder, the settings
// file and the MIDI-assign table never touch the real account.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

class TestHome
{
public:
	TestHome ()
	{
		if (const char* old = std::getenv ("HOME"))
			saved = old;
		char pattern[] = "/tmp/vamplet-home-XXXXXX";
		dir = mkdtemp (pattern);
		setenv ("HOME", dir.c_str (), 1);
	}
	~TestHome ()
	{
		setenv ("HOME", saved.c_str (), 1);
		std::error_code ec;
		std::filesystem::remove_all (dir, ec);
	}
	const std::string& path () const { return dir; }
	std::string file (const std::string& rest) const { return dir + "/" + rest; }
	void write (const std::string& rest, const std::string& content) const
	{
		std::filesystem::create_directories (std::filesystem::path (file (rest)).parent_path ());
		std::ofstream (file (rest), std::ios::binary) << content;
	}
	std::string read (const std::string& rest) const
	{
		std::ifstream in (file (rest), std::ios::binary);
		return std::string (std::istreambuf_iterator<char> (in), {});
	}

private:
	std::string saved;
	std::string dir;
};
