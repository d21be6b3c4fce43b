#include <iostream>

#include "calculator_dialogue.h"

int main() {
    std::ios::sync_with_stdio(false);
    return quenvar::runQuenvar(std::cin, std::cout);
}
