// For the tests of the utility library: what a piece of work throws as CVelmorException.
#pragma once

#include <string>

#include "exception.h"

// Runs work, which must throw a CVelmorException pointer; answers its message (and its
// code through code), or "<nothing thrown>". The exception is deleted.
template <class Work>
std::string thrown_message(Work work, int* code = nullptr) {
    try {
        work();
    } catch (CVelmorException* error) {
        std::string message = error->message();
        if (code) *code = error->code();
        delete error;
        return message;
    }
    return "<nothing thrown>";
}
