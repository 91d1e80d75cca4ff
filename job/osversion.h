// The operating system's name for the start-up log.
#pragma once

#include <string>
#include <vector>

struct utsname;

// e.g. "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64": the PRETTY_NAME of
// /etc/os-release (else /usr/lib/os-release) and the kernel's name and release.
// Either part alone when the other is unknown; "Unknown OS Version" when both are.
std::string GetOsVersionText();

// The same from the first os-release file that can be opened and a uname result
// (nullptr when uname failed).
std::string GetOsVersionText(const std::vector<std::string>& osReleaseFiles, const struct utsname* pUname);
