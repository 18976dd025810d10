// A program whose only purpose is to carry a version record other than the client's.
int main() {
    return 0;
}
