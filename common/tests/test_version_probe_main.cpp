// A program that exists only to carry (or lack) a version resource.
int main() {
    return 0;
}
