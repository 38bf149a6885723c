#pragma once

#include <QString>

// Whether the PC's local address is a private one, judged as the program
// always has: by the first characters of the dotted text alone ("192.168",
// "10." and every "172." address; 100.64.x.x does not count).
bool IsRunningOnLan(const QString& localIP);

// Whether the text is exactly a dotted-decimal IPv4 address (four numbers
// from 0 to 255, without leading zeros) of the public internet: not private,
// shared (100.64.0.0/10), loopback, link-local, "this network", multicast,
// reserved or broadcast.
bool IsPublicIPv4Address(const QString& text);
