// Owners of GLib memory and objects.
#pragma once

#include <glib-object.h>
#include <glib.h>

#include <memory>

namespace kovru {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;
using GCharPtr = std::unique_ptr<gchar, GFree>;
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

// Takes a reference the caller got from a function that returns a new one.
template <typename T> GObjectPtr<T> adopt_object(T* object)
{
    return GObjectPtr<T>(object);
}

// Adds a reference to an object the caller does not own.
template <typename T> GObjectPtr<T> retain_object(T* object)
{
    return GObjectPtr<T>(object ? static_cast<T*>(g_object_ref(object)) : nullptr);
}

} // namespace kovru
