// A judge of one JSON value fed as the JSON library's parser events, so that a large value can
// be checked while it is read, without building it.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace kovrkit {

class MemberEvents {
public:
    virtual ~MemberEvents() = default;

    // Each returns false to give up on the value (it is then judged the general way).
    virtual bool null() = 0;
    virtual bool boolean() = 0;
    virtual bool number() = 0;
    virtual bool string(const std::string& value) = 0;
    virtual bool key(const std::string& name) = 0;
    virtual bool startContainer(bool object) = 0;
    virtual bool endContainer() = 0;

    // After the whole value: true only when it is surely one the host can use.
    virtual bool approved() const = 0;
};

} // namespace kovrkit
