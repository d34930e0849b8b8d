#include "ProductInfo.h"

#include "Paths.h"

#ifndef VELLUMIN_VERSION
#define VELLUMIN_VERSION "2.1.0.0"
#endif

ProductInfo& ProductInfo::instance()
{
    static ProductInfo info;
    return info;
}

ProductInfo::ProductInfo() : displayName_("Vellumin Free"), version_(VELLUMIN_VERSION) {}

std::string ProductInfo::stateFilePath() const
{
    std::string folder = paths::applicationDataDir() + "/Tessavo/" + displayName_ + "/ 2";
    paths::makeDirectories(folder);
    return folder + "/VelluminAppState.bin";
}

std::string ProductInfo::legacyStateFilePath() const
{
    return paths::applicationDataDir() + "/Tessavo/Vellumin-Free/ 2/VelluminAppState.bin";
}
