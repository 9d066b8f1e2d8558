// Entry point of the zeprix executable.
int main() { return 0; }
