#include <iostream>

#include "calculator_dialogue.h"
#include "file_names.h"

int main() {
    std::ios::sync_with_stdio(false);
    quenvar::detail::Console console;
    return quenvar::runQuenvar(console.in(), console.out());
}
