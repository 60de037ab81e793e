#include "serve/Http.h"

HttpResponse TextResponse(int status, const std::string& text) {
    HttpResponse response;
    response.status = status;
    response.body = text.empty() || text.back() == '\n' ? text : text + "\n";
    return response;
}
