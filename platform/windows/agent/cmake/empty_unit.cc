// A unit with no sources of its own yet still yields a library to link against.
