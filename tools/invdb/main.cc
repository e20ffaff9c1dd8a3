// Placeholder entry until the tool is built.
int main() { return 0; }
