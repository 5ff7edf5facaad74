// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the DNS-SD layer can take, checked before it sees it.
//
//   std::string why = CheckInstanceName(name);   // empty: acceptable
//
// Each check answers an empty text for acceptable input, else the reason in
// the words the host is answered with. Invalid UTF-8 would make the daemon's
// D-Bus library abort the process; a TXT record over 65535 bytes would be
// cut to its length modulo 65536 by the 16-bit length it travels in.
#ifndef PLATFORM_NET_BONJOUR_MDNS_ARGUMENT_CHECKS_H_
#define PLATFORM_NET_BONJOUR_MDNS_ARGUMENT_CHECKS_H_

#include <string>

namespace assistant_reference {

// RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text);

// UTF-8 without NUL bytes, at most 63 bytes (one DNS label).
std::string CheckInstanceName(const std::string& name);

// _name._tcp or _name._udp (either in any case), the name a DNS label of
// letters, digits, '-' and '_'.
std::string CheckServiceType(const std::string& type);

// DNS TXT record data: strings, each behind its length byte, filling the
// record exactly; at most 65535 bytes.
std::string CheckTxtRecord(const std::string& txt);

}  // namespace assistant_reference

#endif  // PLATFORM_NET_BONJOUR_MDNS_ARGUMENT_CHECKS_H_
