#pragma once

#include <memory>

class CPacket;

// The site behind the server: answers one parsed GET request (or any
// method other than PUT) through the packet's Send operations. A handler
// that returns without having answered drops the request, and the server
// closes the connection. Failures thrown by the handler drop the request too.
class RequestHandler {
public:
    virtual ~RequestHandler() = default;
    virtual void HandleRequest(const std::shared_ptr<CPacket>& packet) = 0;
};
