#include <iostream>

#include "converter_dialogue.h"
#include "utf8_names.h"

int main() {
    std::ios::sync_with_stdio(false);
    barwright::detail::Console console;
    return barwright::runBarwright(console.in(), console.out());
}
