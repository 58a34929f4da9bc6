#pragma once
// norix types: the file-type catalogue on the command line, and the checkers a scan
// takes from it.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "signatures/Checker.h"

namespace norix::cli {

// Lists, ticks, adds or removes file types; returns the exit code (0 done, 2 usage
// error or refused form, 5 the catalogue could not be written). usageError reports a
// malformed command line and answers its exit code.
int typesCommand(const std::vector<std::string>& args, const std::function<int(const std::string&)>& usageError);

// The checkers of the ticked types, or with a list ("jpg,png") of only the types of
// those extensions, for this run only. Nothing, with the reason, when the list names
// an extension that no type has.
std::optional<SelectedSigArray> checkersForScan(const std::optional<std::string>& typeList, std::string& error);

}  // namespace norix::cli
