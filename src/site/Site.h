#pragma once

#include "http/RequestHandler.h"

#include <QByteArray>
#include <QObject>

#include <memory>

class CPacket;
class FileSender;
class SitePages;
class WapServer;

// The dispatcher: applies the site password to each request and hands it to
// the core page, the file sender or the module its followed link names.
// Links handed out on pages live in the site's link tables, which are erased
// whenever the server stops.
class Site : public QObject, public RequestHandler {
    Q_OBJECT
public:
    Site(WapServer& server, SitePages& pages, FileSender& files, QObject* parent = nullptr);

    void HandleRequest(const std::shared_ptr<CPacket>& packet) override;

    void ProcessRequest(CPacket& packet);
    void HandleAction(CPacket& packet, qint64 index);

private:
    void processEntry(CPacket& packet);
    void enter(CPacket& packet);
    void processLinkState(CPacket& packet);
    bool fileLinkKeyMatches(const CPacket& packet) const;

    SitePages& m_pages;
    FileSender& m_files;
};
