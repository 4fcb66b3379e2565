// korvane-extract: reads the text of one file and writes it to stdout for
// the program that started it (TextExtractor::runInChild).
#include "platform/TextExtractor.h"

int main(int argc, char** argv)
{
    return TextExtractor::childMain(argc, argv);
}
