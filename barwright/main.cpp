#include <iostream>

#include "converter_dialogue.h"
#include "file_names.h"

int main() {
    std::ios::sync_with_stdio(false);
    barwright::detail::Console console;
    return barwright::runBarwright(console.in(), console.out());
}
