// What the program says about itself: its name, version and where its state lives.
#pragma once

#include <string>

class ProductInfo {
public:
    static ProductInfo& instance();

    const std::string& displayName() const { return displayName_; }
    const std::string& version() const { return version_; }
    // <application data>/Tessavo/Vellumin Free/ 2/VelluminAppState.bin; creates the folders.
    std::string stateFilePath() const;
    // The older location, composed only (nothing is created).
    std::string legacyStateFilePath() const;

private:
    ProductInfo();
    std::string displayName_;
    std::string version_;
};
