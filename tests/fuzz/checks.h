#pragma once

#include <string>
#include <string_view>

namespace seedwell::fuzz {

/// The checks behind the fuzz programs and the replay test. Each runs one input through one of
/// the parsers of outside input and answers a description of the first invariant it found
/// broken, or empty text when all held. Crashes, leaks, undefined behaviour and exceptions other
/// than seedwell::Error are left to escape, for the sanitizers and the fuzzer to report.

/// support::GetField. Input layout: the index byte (taken modulo 13, less 2: -2 to 10), the
/// delimiter length byte (modulo 4), the delimiter, then the text.
std::string CheckGetField(std::string_view input);

/// support::ImportFile over a TextStream: the input is the file's bytes, read as UTF-8
/// and as ISO-8859-1, each in one read and in reads of a few bytes. Every read either gives the
/// lines a plain model of the format predicts or stops with seedwell::Error at the first line
/// the model refuses.
std::string CheckImportFile(std::string_view input);

/// server::ParseRegFile with the UTF-8 and the ISO-8859-1 code page, then lookups of every key
/// and value found and support::RegistryValueToText on every value; a registry file is also
/// read as a server::RegFileEditor, written back unchanged, and edited.
std::string CheckRegFile(std::string_view input);

}  // namespace seedwell::fuzz
