// An executable without version information.
int main() {
    return 0;
}
