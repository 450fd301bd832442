// Owner of a libcurl easy handle: one per transfer.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace kovru {

struct CurlEasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;

inline CurlEasy make_curl_easy()
{
    return CurlEasy(curl_easy_init());
}

} // namespace kovru
