// The staging folder of the first run and the command lines one run writes for the next.
#pragma once

#include <string>
#include <vector>

// The files the first run copies into the staging folder, in order, as names relative to the
// installation folder (with the platform's separator).
const std::vector<std::wstring>& StagingCopyList();

// "<temp>tq_update_zt_<4 lower-case hex digits><sep>".
std::wstring StagingFolderName(const std::wstring& tempFolder, int number);

// Draws names from the C runtime generator until one names nothing that exists. Empty when every
// one of the 32768 names exists.
std::wstring ChooseStagingFolder(const std::wstring& tempFolder);

// True for a folder directly inside the temporary folder whose name has the staging form; the
// clean run removes nothing else. A trailing separator is allowed.
bool IsStagingFolder(const std::wstring& folder, const std::wstring& tempFolder);

struct StagingRelaunch {
    std::wstring fileName;
    int lang = 0;
    std::wstring cmy, version, url, comment, restartExe, moduleFolder;
    bool silent = false;
};
// The parameter string of the staging relaunch. The four free-text values are quoted by the C
// runtime's rules when they hold a blank, a tab or a double quote, so that they arrive unchanged;
// restart_exe and des are always quoted as they are ("%s" without escaping); "-silent" is added,
// ahead of those two, only for an unattended run.
std::wstring StagingRelaunchParams(const StagingRelaunch& values);

// The parameter string of the clean relaunch: -clean "<folder>".
std::wstring CleanRelaunchParams(const std::wstring& stagingFolder);

// Removes one pair of surrounding double quotes the way the receiving runs do: only when the text
// is longer than 2 characters, first a leading quote, then a trailing one.
std::wstring StripQuotes(std::wstring text);
