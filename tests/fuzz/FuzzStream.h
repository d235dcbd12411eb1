#pragma once

#include "FuzzInput.h"

namespace Varnik::Soloma::Fuzz {

// How one processor is driven over a stream: the largest frame, the number of steps, and how
// many choices each step draws from (see RunStream).
struct StreamShape {
    int maxPixels;
    int steps;
    int choices;
    int ownSteps;  // steps particular to the class, handed to `own`
};

// What a camera host does with a processor over a stream. Each step draws a choice: 0, a frame
// through a copy; 1, a frame through a fresh object from makeOther(), which is then assigned to
// the processor or from it (and then runs a frame); 2 .. 1 + ownSteps, own(object, k, width,
// height) with k from 0; then a new frame size followed by a frame; any other choice, a frame.
// process(object, width, height) runs one frame through an object.
template <typename T, typename MakeOther, typename Process, typename Own>
void RunStream(FuzzInput& input, T& object, const StreamShape& shape, MakeOther makeOther,
               Process process, Own own) {
    int width = 0;
    int height = 0;
    input.Size(shape.maxPixels, &width, &height);
    for (int step = 0; step < shape.steps && !input.Exhausted(); ++step) {
        const int choice = input.Below(shape.choices);
        if (choice == 0) {
            T copy(object);
            process(copy, width, height);
        } else if (choice == 1) {
            T other = makeOther();
            process(other, width, height);
            if (input.Bool()) {
                object = other;
            } else {
                other = object;
                process(other, width, height);
            }
        } else if (choice < 2 + shape.ownSteps) {
            own(object, choice - 2, width, height);
        } else {
            if (choice == 2 + shape.ownSteps) {
                input.Size(shape.maxPixels, &width, &height);
            }
            process(object, width, height);
        }
    }
}

// A stream without steps of its own.
template <typename T, typename Process>
void RunStream(FuzzInput& input, T& object, const StreamShape& shape, Process process) {
    RunStream(
        input, object, shape, [] { return T(); }, process, [](T&, int, int, int) {});
}

}  // namespace Varnik::Soloma::Fuzz
