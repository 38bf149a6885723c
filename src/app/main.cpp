#include "server/StatusLog.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    StatusLog log;
    return 0;
}
