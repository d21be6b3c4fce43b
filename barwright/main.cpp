#include <iostream>

#include "converter_dialogue.h"

int main() {
    std::ios::sync_with_stdio(false);
    return barwright::runBarwright(std::cin, std::cout);
}
