#pragma once

#include <QByteArray>
#include <QString>

// The PC's primary IPv4 address as dotted decimal text: the address of the
// interface that carries the default route; else the first IPv4 address
// (not loopback) of an interface that is up; else an empty text.
QString PrimaryIPv4Address();

// The interface of the default IPv4 route with the lowest metric, read from
// the text of the kernel's routing table (/proc/net/route); empty if none.
QString DefaultRouteInterface(const QByteArray& routeTable);
