#include "serve/PageAsset.h"

#include "serve/PageAssetList.h"

const PageAsset* FindPageAsset(const std::string& path) {
    for (const PageAsset* asset : kPageAssets) {
        if (path == asset->path) {
            return asset;
        }
    }
    return nullptr;
}

const char* PageSecurityPolicy() {
    // Style attributes are allowed (dygraphs colours its legend with them);
    // style elements and every script come from the page's own files.
    return "default-src 'self'; script-src 'self'; style-src 'self'; "
           "style-src-attr 'unsafe-inline'; img-src 'self' data:; "
           "connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'none'; "
           "frame-ancestors 'none'";
}
