// Tests of this page follow.
