// The files of the page that k40ctl serve gives at "/": its HTML, script,
// styles, icon and the charting library (dygraphs, from Debian's
// libjs-dygraphs), built into the program at build time (cmake/EmbedFile.cmake),
// so that the page needs no network and no file beside the program.
#pragma once

#include <cstddef>
#include <string>

struct PageAsset {
    const char* path;         // "/", "/page/main.js", "/favicon.ico"
    const char* contentType;  // "text/html; charset=utf-8"
    const char* etag;         // a quoted digest of the source file
    const unsigned char* bytes;
    std::size_t size;
};

// The asset served at path, or null.
const PageAsset* FindPageAsset(const std::string& path);

// The page's Content-Security-Policy: its own files only, no inline script
// and no style element (style attributes are allowed), no frames around it.
const char* PageSecurityPolicy();
