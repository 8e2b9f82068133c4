#include "fileserver/cFtpServer.h"

std::unique_ptr<cFtpServer> CreateFtpServer(const SFtpServerOptions& options)
{
    return std::make_unique<cFtpServer>(options);
}
